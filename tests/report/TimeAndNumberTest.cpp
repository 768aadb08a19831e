#include "LineBuffer.h"
#include "LogClock.h"
#include "RecordFormat.h"
#include "orvtime/OrvTime.h"
#include "report/Report.h"
#include "testsupport/EnvGuard.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

using testsupport::ZoneGuard;

// Stamps around clock changes (and plain hours) convert exactly as COrvTime converts them one by
// one, in zones with one-hour, half-hour and no changes.
class LogClockTest : public ::testing::TestWithParam<const char*> {};

TEST_P(LogClockTest, SameAsConvertingEachStamp) {
    ZoneGuard zone(GetParam());
    // Days since 2000-01-01 in 2026: 8 and 29 March, 5 April, 4 and 25 October, 1 November (the
    // clock changes of the zones below), a summer and a winter day.
    const uint32_t days[] = {9563, 9584, 9591, 9773, 9794, 9801, 9705, 9837};
    for (uint32_t day : days) {
        LogClock clock;
        for (uint32_t stamp = day * 86400; stamp < (day + 1) * 86400; stamp += 7) {
            ASSERT_EQ(clock.Convert(stamp), COrvTime(stamp).Value())
                << GetParam() << " stamp " << stamp;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, LogClockTest,
                         ::testing::Values("UTC", "Europe/London", "America/New_York",
                                           "Australia/Lord_Howe", "Asia/Kolkata"));

TEST(LogClock, StampsOutOfOrder) {
    ZoneGuard zone("Europe/London");
    LogClock clock;
    const uint32_t stamps[] = {100, 849954030u, 5, 849954031u, 4294967295u, 0};
    for (uint32_t stamp : stamps) {
        EXPECT_EQ(clock.Convert(stamp), COrvTime(stamp).Value()) << stamp;
    }
}

class IntTextTest : public ::testing::TestWithParam<int> {};

TEST_P(IntTextTest, SameAsPrintf) {
    const int value = GetParam();
    for (int width : {0, 1, 2, 4, 5, 12}) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%*d", width, value);
        LineBuffer line;
        line.AppendInt(value, width);
        EXPECT_STREQ(line.Text(), expected) << value << " width " << width;

        std::snprintf(expected, sizeof expected, "%*d.%01d", width, value / 10, value % 10);
        LineBuffer tenths;
        tenths.AppendTenths(value, width);
        EXPECT_STREQ(tenths.Text(), expected) << value << " width " << width;
    }
}

INSTANTIATE_TEST_SUITE_P(Values, IntTextTest,
                         ::testing::Values(0, 1, -1, 9, -9, 10, -15, 99, 100, 999, 1000, 9999,
                                           10000, 32767, -32768, 65535, INT_MAX, INT_MIN));

TEST(TimeTexts, TimeLiteralsFormatAsAWhole) {
    TimeTexts stream;
    // 10:20:30 on Monday 07 Dec 2026 (UTC, pinned for the whole test program).
    const int64_t time = COrvTime(849954030u).Value();
    const std::pair<const char*, const char*> cases[] = {
        {"\\par %X Switch ON", "\\par 10:20:30 Switch ON"},
        {"%X", "10:20:30"},
        {"a %X b %X", "a 10:20:30 b 10:20:30"},
        {"100%% at %X", "100% at 10:20:30"},
        {"%X %d %b %Y Instrument opened", "10:20:30 07 Dec 2026 Instrument opened"},
        {"no time", "no time"},
        {"%A", "Monday"},
    };
    for (const auto& c : cases) {
        LineBuffer line;
        stream.AppendTime(line, c.first, time);
        stream.AppendTime(line, c.first, time); // the second one from the cached time of day
        EXPECT_EQ(std::string(line.Text()), std::string(c.second) + c.second) << c.first;
    }
    LineBuffer later;
    stream.AppendTime(later, "%X", time + 61);
    EXPECT_STREQ(later.Text(), "10:21:31");
}

} // namespace
