// Charts of sessions decoded from their log bytes, single and chained as Full Day chains them.
#include "charts/SessionChartSource.h"
#include "recbuild/RecordBuilder.h"
#include "report/Report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

namespace {

using namespace charts;
using R = RecordBuilder;

constexpr uint32_t kStart = 849954030u; // 10:20:30 on Monday 07 Dec 2026

class Sessions : public SessionByteSource {
public:
    std::map<int16_t, std::vector<uint8_t>> streams;

    void ReadSessionBytes(int16_t slot, uint8_t* out100, int16_t& readIndex) override {
        const std::vector<uint8_t>& stream = streams[slot];
        for (int i = 0; i < 100; ++i, ++readIndex) {
            const size_t at = static_cast<uint16_t>(readIndex);
            out100[i] = at < stream.size() ? stream[at] : 0xFF;
        }
    }
};

R Timed(uint32_t stamp, int16_t lel, int16_t co) {
    return std::move(R::Stamped('L', '1', stamp).Reading(0, lel).Reading(4, co).Byte(0xFF));
}

// Slot 3: on, three timed readings, a CO alarm, off; on again, a reading, a bump test with a
// failed H2S sensor, a manual zero, a barhole profile. Slot 4: on and one reading.
Sessions TwoSessions() {
    Sessions sessions;
    std::vector<uint8_t>& first = sessions.streams[3];
    R::Stamped('O', '1', kStart).Chars("GAS", 3).AppendTo(first);
    for (uint32_t i = 0; i < 3; ++i) {
        Timed(kStart + 10 + i, static_cast<int16_t>(25 * i), 30).AppendTo(first);
    }
    R::Stamped('A', '2', kStart + 20)
        .Byte(4)
        .Reading(0, 40)
        .Reading(4, 210)
        .Byte(0xFF)
        .ZeroGps()
        .AppendTo(first);
    R::Stamped('Y', '1', kStart + 30).AppendTo(first);
    R::Stamped('O', '1', kStart + 100).Chars("GAS", 3).AppendTo(first);
    Timed(kStart + 110, 5, 1).AppendTo(first);
    R::Stamped('B', '2', kStart + 120)
        .BumpResult(4, 1, 98)
        .BumpResult(5, 2, 3)
        .Byte(0xFF)
        .AppendTo(first);
    R::Stamped('z', '1', kStart + 125).AppendTo(first);
    R::Barhole('4', kStart + 130, 7, 260, 'G', 120, 'G')
        .Bytes({0, 0, 0})
        .Bytes({1, 2, 30, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})
        .ZeroGps()
        .AppendTo(first);
    std::vector<uint8_t>& second = sessions.streams[4];
    R::Stamped('O', '1', kStart + 600).Chars("GAS", 3).AppendTo(second);
    Timed(kStart + 610, 10, 2).AppendTo(second);
    return sessions;
}

std::vector<size_t> RunSizes(const GasSeries* series) {
    std::vector<size_t> sizes;
    for (const auto& run : series->runs) {
        sizes.push_back(run.size());
    }
    return sizes;
}

const ModeNameList kModes = {"GAS", "PPM", "", ""};

TEST(SessionChartSource, AChainOfSessionsAsSeriesAndMarks) {
    Sessions sessions = TwoSessions();
    const SessionChart chart = ChartOfSessions(sessions, {3, 4}, kModes, LogFilter{});

    ASSERT_EQ(chart.gases.size(), 2u);
    const GasSeries* lel = chart.Find("LEL", "% LEL");
    const GasSeries* co = chart.Find("CO", "ppm");
    ASSERT_NE(lel, nullptr);
    ASSERT_NE(co, nullptr);
    // Three timed readings and the alarm; after switching on again one; the next session one.
    EXPECT_EQ(RunSizes(lel), (std::vector<size_t>{4, 1, 1}));
    EXPECT_EQ(RunSizes(co), (std::vector<size_t>{4, 1, 1}));
    EXPECT_DOUBLE_EQ(lel->runs[0][1].value, 2.5);
    EXPECT_EQ(lel->runs[0][0].time, ChartTime(kStart + 10));
    // 10:20:40 on the instrument's clock, whatever this computer's zone.
    EXPECT_EQ(ChartTime(kStart + 10) % 86400, 10 * 3600 + 20 * 60 + 40);

    std::vector<std::string> labels;
    for (const ChartMark& mark : chart.marks) {
        labels.push_back(mark.label);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"On", "CO", "Off", "On", "Bump FAIL H2S",
                                                "Manual zero", "On"}));
    const ChartMark& alarm = chart.marks[1];
    EXPECT_EQ(alarm.kind, MarkKind::Alarm);
    EXPECT_TRUE(alarm.hasValue);
    EXPECT_DOUBLE_EQ(alarm.value, 210);

    ASSERT_EQ(chart.barholes.size(), 1u);
    const BarholeProfile& barhole = chart.barholes[0];
    EXPECT_EQ(barhole.number, 7);
    EXPECT_EQ(barhole.unit, "% gas");
    EXPECT_DOUBLE_EQ(barhole.peak, 26.0);
    ASSERT_EQ(barhole.values.size(), 15u);
    EXPECT_EQ(barhole.PeakStep(), 2);
    EXPECT_EQ(chart.firstTime, ChartTime(kStart));
    EXPECT_EQ(chart.lastTime, ChartTime(kStart + 610));
}

TEST(SessionChartSource, TheReportsFilterHidesAlarmsAndBumpTests) {
    ReportState state;
    state.ShowAlarmLogs = 0;
    state.ShowBumpLogs = 0;
    state.ShowTimedLogs = 0;
    Sessions sessions = TwoSessions();
    const SessionChart chart = ChartOfSessions(sessions, {3}, kModes, ReportFilter(state));
    EXPECT_TRUE(chart.gases.empty());
    for (const ChartMark& mark : chart.marks) {
        EXPECT_NE(mark.kind, MarkKind::Alarm);
        EXPECT_NE(mark.kind, MarkKind::BumpTest);
    }
    // On, off, on and the manual zero, which the report prints whatever its filter.
    EXPECT_EQ(chart.marks.size(), 4u);
}

TEST(SessionChartSource, AnEmptyOrErasedSlotGivesAnEmptyChart) {
    Sessions sessions;
    const SessionChart chart = ChartOfSessions(sessions, {0}, kModes, LogFilter{});
    EXPECT_TRUE(chart.gases.empty());
    EXPECT_TRUE(chart.marks.empty());
    EXPECT_FALSE(chart.hasTime);
}

} // namespace
