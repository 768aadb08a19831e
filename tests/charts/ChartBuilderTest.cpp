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
    builder.Readings(110, kLelCo);
    builder.Readings(120, {{"LEL", "% LEL", 4.0}, {"O2", "%", 20.9}});
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
    builder.Readings(110, kLelCo);
    builder.Readings(120, kLelCo);
    builder.SwitchOff(130);
    builder.SwitchOn(500);
    builder.Readings(510, kLelCo);
    builder.StartSession();
    builder.Readings(900, kLelCo);
    builder.Readings(910, kLelCo);
    // The clock set back: never a line drawn backwards.
    builder.Readings(50, kLelCo);
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

TEST(ChartBuilder, SwitchModeAndBarholeRecords) {
    ChartBuilder builder;
    builder.SwitchOn(10);
    builder.ModeChange(20, "PPM");
    builder.Barhole(30, 3, "% gas", 4.5, "4.5 % gas", {1.0, 4.5, 2.0});
    builder.Barhole(40, 4, "% LEL", 2.0, "2.0 % LEL", {});
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
