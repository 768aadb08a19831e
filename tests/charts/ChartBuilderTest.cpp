// The chart's own rules, fed record by record: which readings become points, where lines break,
// what the marks say and what the filter leaves out.
#include "charts/ChartBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace charts;

const std::vector<GasReading> kLelCo = {{"LEL", "% LEL", 2.5}, {"CO", "ppm", 30}};

std::vector<size_t> RunSizes(const GasSeries& series) {
    std::vector<size_t> sizes;
    for (const auto& run : series.runs) {
        sizes.push_back(run.size());
    }
    return sizes;
}

TEST(ChartBuilder, ReadingsGivePointsPerGasInTheirUnits) {
    ChartBuilder builder;
    builder.SwitchOn(100);
    builder.Readings(ReadingSource::Timed, 110, kLelCo);
    builder.Readings(ReadingSource::Manual, 120, {{"LEL", "% LEL", 4.0}, {"O2", "%", 20.9}});
    const SessionChart& chart = builder.Chart();
    ASSERT_EQ(chart.gases.size(), 3u);
    EXPECT_EQ(chart.gases[0].gas, "LEL");
    EXPECT_EQ(chart.gases[0].PointCount(), 2u);
    EXPECT_EQ(chart.gases[0].runs[0][1].value, 4.0);
    EXPECT_EQ(chart.gases[1].unit, "ppm");
    EXPECT_EQ(chart.Units(), (std::vector<std::string>{"% LEL", "%", "ppm"}));
    EXPECT_EQ(chart.firstTime, 100);
    EXPECT_EQ(chart.lastTime, 120);
}

TEST(ChartBuilder, SwitchingOffOrANewSessionBreaksTheLine) {
    ChartBuilder builder;
    builder.SwitchOn(100);
    builder.Readings(ReadingSource::Timed, 110, kLelCo);
    builder.Readings(ReadingSource::Timed, 120, kLelCo);
    builder.SwitchOff(130);
    builder.SwitchOn(500);
    builder.Readings(ReadingSource::Timed, 510, kLelCo);
    builder.StartSession();
    builder.Readings(ReadingSource::Timed, 900, kLelCo);
    builder.Readings(ReadingSource::Timed, 910, kLelCo);
    // The clock set back: never a line drawn backwards.
    builder.Readings(ReadingSource::Timed, 50, kLelCo);
    const GasSeries* lel = builder.Chart().Find("LEL", "% LEL");
    ASSERT_NE(lel, nullptr);
    EXPECT_EQ(RunSizes(*lel), (std::vector<size_t>{2, 1, 2, 1}));
}

TEST(ChartBuilder, AlarmsNameTheirGasAtItsReading) {
    ChartBuilder builder;
    builder.Alarm(200, "CO", kLelCo);
    builder.Alarm(210, "H2S", kLelCo);
    const SessionChart& chart = builder.Chart();
    ASSERT_EQ(chart.marks.size(), 2u);
    EXPECT_EQ(chart.marks[0].kind, MarkKind::Alarm);
    EXPECT_EQ(chart.marks[0].label, "CO");
    EXPECT_TRUE(chart.marks[0].hasValue);
    EXPECT_EQ(chart.marks[0].value, 30);
    EXPECT_EQ(chart.marks[0].unit, "ppm");
    EXPECT_FALSE(chart.marks[1].hasValue); // no H2S reading in the record
    EXPECT_EQ(chart.Find("CO", "ppm")->PointCount(), 2u);
}

TEST(ChartBuilder, TestsAreLabelledWithTheirVerdict) {
    ChartBuilder builder;
    builder.Test(MarkKind::Calibration, 1,
                 {{"LEL", SensorVerdict::Pass}, {"CO", SensorVerdict::Pass}});
    builder.Test(MarkKind::BumpTest, 2,
                 {{"LEL", SensorVerdict::Pass},
                  {"CO", SensorVerdict::Fail},
                  {"H2S", SensorVerdict::Fail},
                  {"O2", SensorVerdict::NotTested}});
    builder.Test(MarkKind::FieldCalibration, 3, {{"LEL", SensorVerdict::NotTested}});
    builder.Test(MarkKind::Zero, 4, {{"LEL", SensorVerdict::Fail}});
    std::vector<std::string> labels;
    std::vector<bool> failed;
    for (const ChartMark& mark : builder.Chart().marks) {
        labels.push_back(mark.label);
        failed.push_back(mark.failed);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Calibration PASS", "Bump FAIL CO H2S", "Field Cal",
                                                "Zero FAIL LEL"}));
    EXPECT_EQ(failed, (std::vector<bool>{false, true, false, true}));
}

TEST(ChartBuilder, TheFilterLeavesOutWhatTheReportHides) {
    struct Case {
        ChartFilter filter;
        size_t points;
        size_t marks;
    };
    ChartFilter noAlarms, noManual, noTimed, noCalibration, noBump;
    noAlarms.alarms = false;
    noManual.manual = false;
    noTimed.timed = false;
    noCalibration.calibration = false;
    noBump.bump = false;
    // Each feed: a survey, an alarm, a manual and a timed reading, a calibration, a zero, a bump.
    const Case cases[] = {{ChartFilter{}, 4, 4}, {noAlarms, 3, 3},      {noManual, 3, 4},
                          {noTimed, 3, 4},       {noCalibration, 4, 2}, {noBump, 4, 3}};
    for (const Case& c : cases) {
        ChartBuilder builder(c.filter);
        builder.Readings(ReadingSource::Survey, 1, {{"PPM", "ppm", 5}});
        builder.Alarm(2, "PPM", {{"PPM", "ppm", 50}});
        builder.Readings(ReadingSource::Manual, 3, {{"PPM", "ppm", 6}});
        builder.Readings(ReadingSource::Timed, 4, {{"PPM", "ppm", 7}});
        builder.Test(MarkKind::Calibration, 5, {});
        builder.Test(MarkKind::Zero, 6, {});
        builder.Test(MarkKind::BumpTest, 7, {});
        const SessionChart& chart = builder.Chart();
        EXPECT_EQ(chart.Find("PPM", "ppm")->PointCount(), c.points);
        EXPECT_EQ(chart.marks.size(), c.marks);
        // Hidden records still widen the time span, as the report's clock still moves.
        EXPECT_EQ(chart.lastTime, 7);
    }
}

TEST(ChartBuilder, SwitchModeAndBarholeRecords) {
    ChartBuilder builder;
    builder.SwitchOn(10);
    builder.ModeChange(20, "PPM");
    builder.Barhole(30, 3, "% gas", 4.5, {1.0, 4.5, 2.0});
    builder.Barhole(40, 4, "% LEL", 2.0, {});
    builder.SwitchOff(50);
    const SessionChart& chart = builder.Chart();
    ASSERT_EQ(chart.marks.size(), 3u);
    EXPECT_EQ(chart.marks[1].kind, MarkKind::ModeChange);
    EXPECT_EQ(chart.marks[1].label, "PPM");
    EXPECT_EQ(chart.marks[2].label, "Off");
    ASSERT_EQ(chart.barholes.size(), 2u);
    EXPECT_EQ(chart.barholes[0].PeakStep(), 1);
    EXPECT_EQ(chart.barholes[1].PeakStep(), -1);
    EXPECT_TRUE(chart.gases.empty());
}

} // namespace
