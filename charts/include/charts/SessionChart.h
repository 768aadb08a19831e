#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a chart of one session (or a chain of sessions) shows, as plain data: built from the
// decoded records, drawn by SessionChartPlot, checked by the tests without pixels.
//
// Times are the instrument's wall clock as seconds since 1970-01-01 read as if it were UTC, so
// that the time axis shows what the instrument showed whatever this computer's time zone is.
namespace charts {

struct SeriesPoint {
    int64_t time = 0;
    double value = 0;
    // The divisor the record stored the reading by (1, 10 or 100: GasInfo::Scale): the read-out
    // states the figure as precise as the record holds it, as the export does.
    int32_t scale = 1;
};

// One gas in one unit. Each run is a stretch while the instrument was on; no line joins two runs.
struct GasSeries {
    std::string gas;  // "LEL", "CO": the instrument's name without its padding
    std::string unit; // "% LEL", "% gas", "%", "ppm", as the gas table gives it
    std::vector<std::vector<SeriesPoint>> runs;

    size_t PointCount() const;
};

enum class MarkKind {
    Alarm,       // a gas went into alarm: drawn as a red point naming the gas
    Calibration, // calibration, zero, field calibration, bump tests and the user's own zeroing
    Zero,        // (manual zero, without a verdict): labelled vertical lines
    FieldCalibration,
    BumpTest,
    ManualZero,
    SwitchOn, // switch on/off and mode changes: marks on the time axis
    SwitchOff,
    ModeChange,
};

struct ChartMark {
    MarkKind kind = MarkKind::Alarm;
    int64_t time = 0;
    // Alarm: the gas's name. Tests: the kind and PASS or FAIL ("Bump FAIL CO"); a test without
    // any sensor result has no verdict. Switch and mode marks: "On", "Off", the mode's name.
    std::string label;
    // Tests: true when a sensor failed; alarms: always true.
    bool failed = false;
    // Alarm: the gas's reading at that moment in `unit`, when the record held one.
    bool hasValue = false;
    double value = 0;
    std::string unit;
};

// The samples of one barhole test, step by step, with the peak the instrument recorded.
struct BarholeProfile {
    int64_t time = 0;
    int number = 0;
    std::string unit; // "% LEL" or "% gas"
    // The recorded peak reading: the record's own figure of the test, which its samples (a
    // measurement of their own, stored in steps the peak chooses) may stay below.
    double peak = 0;
    // The peak as every view but the RTF report states it, figure and unit ("36.0 % LEL"):
    // report/FigureText.h's BarholePeakFigure, so that the chart reads as the export and the map.
    std::string peakFigure;
    std::vector<double> values;

    // Index of the largest sample (the first of equals); -1 with no samples.
    int PeakStep() const;
    // Where the chart draws the recorded peak: at its reading, over the step of the largest
    // sample (counted from 1), or over the one step of a profile without samples.
    struct PeakPlace {
        double step = 1;
        double value = 0;
    };
    PeakPlace PeakPoint() const;
};

// What the chart records at one moment: the time of a record that gave readings and each gas's
// reading in it (by its index in SessionChart::gases).
struct SampleReading {
    size_t gas = 0;
    double value = 0;
    int32_t scale = 1; // as SeriesPoint::scale
};
struct Sample {
    bool found = false;
    int64_t time = 0;
    std::vector<SampleReading> readings;
};

struct SessionChart {
    std::vector<GasSeries> gases; // in the order the gases were first met
    std::vector<ChartMark> marks; // in time order of the stream
    std::vector<BarholeProfile> barholes;
    int64_t firstTime = 0; // the span of every time-stamped record seen, for the axis
    int64_t lastTime = 0;
    bool hasTime = false;

    // The units met, in the order the chart stacks their panes: % LEL, % gas, %, ppm, mg/m3, then
    // any other.
    std::vector<std::string> Units() const;
    const GasSeries* Find(const std::string& gas, const std::string& unit) const;

    // The sample nearest to `time` (the earlier of two as near), looked for within the runs of
    // readings and up to `reach` seconds beyond their ends: never across a time the instrument
    // was off. Lines join the samples, so this is what the chart shows at the sample's time.
    Sample SampleNear(double time, double reach) const;
};

} // namespace charts
