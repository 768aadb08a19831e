#pragma once

#include <QTextEdit>

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

private:
    std::string rtf_;
};
