#include "gui/LinkedViews.h"

#include "charts/SessionChartPlot.h"
#include "charts/SessionChartSource.h"
#include "gui/ChartPanel.h"
#include "gui/RtfView.h"

#include <cmath>
#include <utility>

LinkedViews::LinkedViews(RtfView& report, ChartPanel& chart, QObject* parent)
    : QObject(parent), report_(report), chart_(chart) {
    connect(&chart_.Plot(), &SessionChartPlot::cursorMoved, this,
            [this](double time) { emit chartTimeChosen(std::llround(time)); });
    connect(&chart_, &ChartPanel::chartShown, this, [this] {
        if (pendingTime_) {
            const double time = *pendingTime_;
            pendingTime_.reset();
            chart_.Plot().ShowReadOut(time);
        }
    });
}

void LinkedViews::SetReport(ReportAnchors anchors) {
    anchors_ = std::move(anchors);
}

int LinkedViews::ReportLineOf(const mapping::SceneRecord& record) const {
    if (record.session < 0 || static_cast<size_t>(record.session) >= anchors_.Sessions.size()) {
        return -1;
    }
    const std::vector<size_t>& records = anchors_.Sessions[record.session].Records;
    if (record.record < 0 || static_cast<size_t>(record.record) >= records.size()) {
        return -1;
    }
    return report_.LineAt(records[record.record]);
}

void LinkedViews::ChooseRecord(const mapping::SceneRecord& record) {
    const int line = ReportLineOf(record);
    if (line >= 0) {
        report_.ShowReportLine(line);
    }
    if (record.stamped) {
        PutCursor(static_cast<double>(charts::ChartTime(record.stamp)));
    }
}

void LinkedViews::PutCursor(double chartTime) {
    if (chart_.Busy()) {
        pendingTime_ = chartTime;
        return;
    }
    pendingTime_.reset();
    chart_.Plot().ShowReadOut(chartTime);
}
