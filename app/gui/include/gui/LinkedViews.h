#pragma once

#include "map/MapScene.h"
#include "report/Report.h"

#include <QObject>

#include <optional>

class ChartPanel;
class RtfView;

// Keeps the report, the chart and the map on the same moment: a record chosen elsewhere (on the
// map) brings the report to its line and the chart's cursor to its time, and the chart's cursor
// moved by the user tells the others its time. Nothing is brought to the front: the user stays
// where the choice was made.
class LinkedViews : public QObject {
    Q_OBJECT
public:
    LinkedViews(RtfView& report, ChartPanel& chart, QObject* parent = nullptr);

    // The report now in the view: where the records of its sessions begin in its text, a session
    // for each session the map numbers, in the same order.
    void SetReport(ReportAnchors anchors);

    // The report line of a record; -1 when the report shown has no such record.
    int ReportLineOf(const mapping::SceneRecord& record) const;

    // The report to the record's line and the chart's cursor to its time. The cursor waits for a
    // chart still being drawn; a record before its session's first time stamp has no time and
    // leaves it where it is.
    void ChooseRecord(const mapping::SceneRecord& record);

signals:
    // The user moved the chart's cursor to this chart time (charts::ChartTime).
    void chartTimeChosen(qint64 chartTime);

private:
    void PutCursor(double chartTime);

    RtfView& report_;
    ChartPanel& chart_;
    ReportAnchors anchors_;
    // A time chosen while the chart was being drawn, put up with it.
    std::optional<double> pendingTime_;
};
