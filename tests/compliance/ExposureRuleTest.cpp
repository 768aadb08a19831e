#include "compliance/ExposureRule.h"

#include <gtest/gtest.h>

#include <string>

using compliance::Evaluate;
using compliance::ExposureFigures;
using compliance::ExposureReading;
using compliance::ExposureSession;
using compliance::LoggingInterval;

namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kMinute = 60;

ExposureSession Session(int64_t on, int64_t off, std::vector<ExposureReading> readings,
                        int64_t interval = 0) {
    return ExposureSession{on, off, interval, std::move(readings)};
}

struct ExposureCase {
    std::string name;
    std::vector<ExposureSession> sessions;
    double twa;
    double stel;
    int64_t stelEnd;
    int64_t secondsMeasured;
};

} // namespace

TEST(ExposureRule, FiguresOfWorkedExamplesAndEdges) {
    const std::vector<ExposureCase> cases = {
        // The US rule's worked example: (2*150 + 2*75 + 4*50) / 8.
        {"2 h at 150, 2 h at 75, 4 h at 50",
         {Session(0, 8 * kHour, {{0, 150}, {2 * kHour, 75}, {4 * kHour, 50}})},
         81.25,
         150,
         15 * kMinute,
         8 * kHour},
        {"2 h at 20 and nothing else",
         {Session(0, 2 * kHour, {{0, 20}})},
         5,
         20,
         15 * kMinute,
         2 * kHour},
        // The British guidance's example: 5 minutes at 600 ppm in a quarter of an hour.
        {"5 min at 600 then zero",
         {Session(0, kHour, {{0, 600}, {5 * kMinute, 0}})},
         600.0 * 300 / (8 * kHour),
         200,
         15 * kMinute,
         kHour},
        // A reading holds for the logging interval only: the gap counts as zero.
        {"a gap longer than the interval",
         {Session(0, kHour, {{0, 40}, {60, 40}, {30 * kMinute, 40}}, 60)},
         40.0 * 180 / (8 * kHour),
         40.0 * 120 / 900,
         15 * kMinute,
         180},
        // Off between two sessions of one wearer: zero while off, and one shift.
        {"switched off inside the day",
         {Session(0, kHour, {{0, 10}}), Session(3 * kHour, 4 * kHour, {{3 * kHour, 30}})},
         (10.0 + 30.0) / 8,
         30,
         3 * kHour + 15 * kMinute,
         2 * kHour},
        {"negative readings count as zero",
         {Session(0, kHour, {{0, -5}, {30 * kMinute, 16}})},
         16.0 * 1800 / (8 * kHour),
         16,
         30 * kMinute + 15 * kMinute,
         kHour},
        // Two instruments worn at once: the higher reading counts, not their sum.
        {"two sessions overlapping",
         {Session(0, kHour, {{0, 10}}), Session(30 * kMinute, kHour, {{30 * kMinute, 50}})},
         (10.0 * 1800 + 50.0 * 1800) / (8 * kHour),
         50,
         45 * kMinute,
         kHour},
        // A window exactly as long as the reading's stretch: its edges are the stretch's.
        {"a reading exactly on a window's edge",
         {Session(0, kHour, {{0, 0}, {10 * kMinute, 90}, {25 * kMinute, 0}})},
         90.0 * 900 / (8 * kHour),
         90,
         25 * kMinute,
         kHour},
        {"no readings", {Session(0, kHour, {})}, 0, 0, 0, 0},
    };
    for (const ExposureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ExposureFigures f = Evaluate(c.sessions, {}, {});
        EXPECT_NEAR(f.twa, c.twa, 1e-9);
        EXPECT_NEAR(f.stel, c.stel, 1e-9);
        EXPECT_EQ(f.stelEnd, c.stelEnd);
        EXPECT_EQ(f.secondsMeasured, c.secondsMeasured);
    }
}

TEST(ExposureRule, PeakOverRangeAlarmTimesAndLimits) {
    // CO: 30 ppm for 20 minutes, then over range (its top, 500 ppm) for 2 minutes, then 5.
    const std::vector<ExposureSession> day = {
        Session(0, kHour, {{0, 30}, {20 * kMinute, 500, true}, {22 * kMinute, 5}})};
    const ExposureFigures f = Evaluate(day, {30, 200}, {20, 90});
    EXPECT_TRUE(f.overRange);
    EXPECT_EQ(f.peak, 500);
    EXPECT_EQ(f.shiftStart, 0);
    EXPECT_EQ(f.shiftEnd, kHour);
    ASSERT_EQ(f.secondsAtOrAbove.size(), 2u);
    EXPECT_EQ(f.secondsAtOrAbove[0], 22 * kMinute);
    EXPECT_EQ(f.secondsAtOrAbove[1], 2 * kMinute);
    EXPECT_FALSE(f.twaOver); // (30*1200 + 500*120 + 5*2280) / 28800 = 3.73
    // The worst quarter of an hour ends with the over-range stretch: (30*780 + 500*120) / 900.
    EXPECT_NEAR(f.stel, 83400.0 / 900, 1e-9);
    EXPECT_EQ(f.stelEnd, 22 * kMinute);
    EXPECT_TRUE(f.stelOver);
}

TEST(ExposureRule, LoggingIntervalIsTheCommonestGap) {
    EXPECT_EQ(LoggingInterval({}), 0);
    EXPECT_EQ(LoggingInterval({5}), 0);
    EXPECT_EQ(LoggingInterval({0, 60, 120, 180, 600, 660}), 60);
    EXPECT_EQ(LoggingInterval({120, 0, 60}), 60);          // order does not matter
    EXPECT_EQ(LoggingInterval({0, 30, 90, 150, 180}), 30); // a tie keeps the shorter gap
}
