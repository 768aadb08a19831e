#pragma once

#include "charts/SessionChart.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace charts {

struct GasReading {
    std::string gas;
    std::string unit;
    double value = 0;
    int32_t scale = 1; // the divisor the record stored it by (SeriesPoint::scale)
};

enum class SensorVerdict { Pass, Fail, NotTested };

struct SensorResult {
    std::string gas;
    SensorVerdict verdict = SensorVerdict::Pass;
};

// Collects a chart from decoded records fed in stream order, session after session (the log
// filter has been applied before). It owns the rules that are the chart's own: which records give
// points, where a line must break and what a marker says.
class ChartBuilder {
public:
    // A session begins: whatever came before is not joined to what follows.
    void StartSession();
    // Any time-stamped record: widens the time span.
    void Seen(int64_t time);

    void Readings(int64_t time, const std::vector<GasReading>& readings);
    // An alarm on `gas`, with the readings the record carried.
    void Alarm(int64_t time, const std::string& gas, const std::vector<GasReading>& readings);
    void Test(MarkKind kind, int64_t time, const std::vector<SensorResult>& results);
    void SwitchOn(int64_t time);
    void SwitchOff(int64_t time);
    void ModeChange(int64_t time, const std::string& mode);
    // `peakFigure`: the peak's text as the other views state it (BarholeProfile::peakFigure).
    void Barhole(int64_t time, int number, const std::string& unit, double peak,
                 const std::string& peakFigure, std::vector<double> values);

    const SessionChart& Chart() const { return chart_; }
    SessionChart Take() { return std::move(chart_); }

private:
    void Break();
    void AddPoint(int64_t time, const GasReading& reading);

    SessionChart chart_;
    // Index of each (gas, unit) in chart_.gases.
    std::map<std::pair<std::string, std::string>, size_t> index_;
    std::vector<bool> open_; // per gas: its last run may take more points
};

// The word a marker uses for a test kind ("Calibration", "Zero", "Field Cal", "Bump").
const char* MarkWord(MarkKind kind);

} // namespace charts
