#include "charts/ChartBuilder.h"

#include <algorithm>

#include "report/SessionValues.h"

namespace charts {

const char* MarkWord(MarkKind kind) {
    switch (kind) {
    case MarkKind::Alarm:
        return "Alarm";
    case MarkKind::Calibration:
        return "Calibration";
    case MarkKind::Zero:
        return "Zero";
    case MarkKind::FieldCalibration:
        return "Field Cal";
    case MarkKind::BumpTest:
        return "Bump";
    case MarkKind::ManualZero:
        return "Manual zero";
    case MarkKind::SwitchOn:
        return "On";
    case MarkKind::SwitchOff:
        return "Off";
    case MarkKind::ModeChange:
        return "Mode";
    }
    return "";
}

void ChartBuilder::StartSession() {
    Break();
}

void ChartBuilder::Break() {
    std::fill(open_.begin(), open_.end(), false);
}

void ChartBuilder::Seen(int64_t time) {
    if (!chart_.hasTime) {
        chart_.firstTime = chart_.lastTime = time;
        chart_.hasTime = true;
        return;
    }
    chart_.firstTime = std::min(chart_.firstTime, time);
    chart_.lastTime = std::max(chart_.lastTime, time);
}

void ChartBuilder::AddPoint(int64_t time, const GasReading& reading) {
    const auto key = std::make_pair(reading.gas, reading.unit);
    auto found = index_.find(key);
    if (found == index_.end()) {
        found = index_.emplace(key, chart_.gases.size()).first;
        chart_.gases.push_back(GasSeries{reading.gas, reading.unit, {}});
        open_.push_back(false);
    }
    GasSeries& series = chart_.gases[found->second];
    // A clock set back between two records would draw the line backwards: start a new run.
    if (!open_[found->second] || series.runs.empty() ||
        (!series.runs.back().empty() && series.runs.back().back().time > time)) {
        series.runs.emplace_back();
        open_[found->second] = true;
    }
    series.runs.back().push_back(SeriesPoint{time, reading.value, reading.scale});
}

void ChartBuilder::Readings(int64_t time, const std::vector<GasReading>& readings) {
    Seen(time);
    for (const GasReading& reading : readings) {
        AddPoint(time, reading);
    }
}

void ChartBuilder::Alarm(int64_t time, const std::string& gas,
                         const std::vector<GasReading>& readings) {
    Seen(time);
    ChartMark mark;
    mark.kind = MarkKind::Alarm;
    mark.time = time;
    mark.label = gas;
    mark.failed = true;
    for (const GasReading& reading : readings) {
        if (reading.gas == gas && !mark.hasValue) {
            mark.hasValue = true;
            mark.value = reading.value;
            mark.unit = reading.unit;
        }
    }
    chart_.marks.push_back(mark);
    Readings(time, readings);
}

void ChartBuilder::Test(MarkKind kind, int64_t time, const std::vector<SensorResult>& results) {
    Seen(time);
    ChartMark mark;
    mark.kind = kind;
    mark.time = time;
    mark.label = MarkWord(kind);
    std::string failedGases;
    bool anyVerdict = false;
    for (const SensorResult& result : results) {
        if (result.verdict == SensorVerdict::NotTested) {
            continue;
        }
        anyVerdict = true;
        if (result.verdict == SensorVerdict::Fail) {
            mark.failed = true;
            failedGases += " " + result.gas;
        }
    }
    if (anyVerdict) {
        // The result in the words every view gives it (TestResultWord).
        mark.label += mark.failed
                          ? std::string(" ") + TestResultWord(TestResult::Fail) + failedGases
                          : std::string(" ") + TestResultWord(TestResult::Pass);
    }
    chart_.marks.push_back(mark);
}

void ChartBuilder::SwitchOn(int64_t time) {
    Seen(time);
    Break();
    chart_.marks.push_back(ChartMark{MarkKind::SwitchOn, time, "On", false, false, 0, {}});
}

void ChartBuilder::SwitchOff(int64_t time) {
    Seen(time);
    Break();
    chart_.marks.push_back(ChartMark{MarkKind::SwitchOff, time, "Off", false, false, 0, {}});
}

void ChartBuilder::ModeChange(int64_t time, const std::string& mode) {
    Seen(time);
    chart_.marks.push_back(ChartMark{MarkKind::ModeChange, time, mode, false, false, 0, {}});
}

void ChartBuilder::Barhole(int64_t time, int number, const std::string& unit, double peak,
                           const std::string& peakFigure, std::vector<double> values) {
    Seen(time);
    chart_.barholes.push_back(
        BarholeProfile{time, number, unit, peak, peakFigure, std::move(values)});
}

} // namespace charts
