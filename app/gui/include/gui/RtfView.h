#pragma once

#include "reportdoc/RtfReader.h"

#include <QTextEdit>

#include <cstddef>
#include <string>

// Read-only view of the RTF report. The RTF string handed in is kept as it is: the view only
// shows it, so whoever saves the report saves the document and never the view's plain text.
class RtfView : public QTextEdit {
    Q_OBJECT
public:
    explicit RtfView(QWidget* parent = nullptr);

    void SetRtf(const std::string& rtf);
    // A note in place of the report (the report string itself is not touched); the next SetRtf
    // shows the report again.
    void ShowNotice(const QString& text);
    const std::string& Rtf() const { return rtf_; }

    // The line (text block) that shows the first text at or after byte `offset` of the RTF shown;
    // -1 when there is none, or a notice stands in place of the report.
    int LineAt(size_t offset) const;
    // Scrolls the line into view, puts the text cursor at its start and marks it across the view;
    // false, and nothing moved, when the document has no such line.
    bool ShowReportLine(int block);
    // The line ShowReportLine marked last; -1 when none is marked (a new report clears the mark).
    int MarkedLine() const { return marked_; }

private:
    void ClearMark();

    std::string rtf_;
    RtfTextPlaces places_;
    bool notice_ = false;
    int marked_ = -1;
};
