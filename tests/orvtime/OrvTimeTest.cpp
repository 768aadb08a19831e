#include "orvtime/OrvTime.h"
#include "orvtime/TimeFormat.h"
#include "testsupport/EnvGuard.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// 2026-12-07 (a Monday) 14:05:09 on the instrument's clock.
constexpr unsigned kMonday = 849967509u;

using testsupport::ZoneGuard;

struct FormatCase {
    unsigned stamp;
    const char* format;
    const char* expected;
};

const FormatCase kCases[] = {
    {kMonday, "%X", "14:05:09"},
    {kMonday, "%b %Y", "Dec 2026"},
    {kMonday, "%A %d", "Monday 07"},
    {kMonday, "%d %b %Y", "07 Dec 2026"},
    {0u, "%d %b %Y %X", "01 Jan 2000 00:00:00"},
    {86399u, "%X", "23:59:59"},
    // 2004-02-29 12:00:00, a leap day
    {131371200u, "%A %d %b %Y %X", "Sunday 29 Feb 2004 12:00:00"},
    // Midsummer and midwinter: the shown time must not move with daylight saving.
    {741960000u, "%d %b %Y %X", "06 Jul 2023 12:00:00"},
    {757425600u, "%d %b %Y %X", "01 Jan 2024 12:00:00"},
    {0xFFFFFFFEu, "%Y", "2136"},
    {kMonday, "100%%", "100%"},
};

void ExpectCases(const char* zone) {
    ZoneGuard guard(zone);
    for (const FormatCase& c : kCases) {
        EXPECT_EQ(FormatTime(COrvTime(c.stamp).Value(), c.format), c.expected)
            << "stamp " << c.stamp << " format " << c.format << " zone " << zone;
    }
}

} // namespace

TEST(OrvTime, SameWallClockTextInEveryZone) {
    ExpectCases("UTC0");
    ExpectCases("EST5EDT,M3.2.0,M11.1.0");
    ExpectCases("CET-1CEST,M3.5.0,M10.5.0/3");
    ExpectCases("NZST-12NZDT,M9.5.0,M4.1.0/3");
}

TEST(OrvTime, ValueIsSecondsSince1970) {
    ZoneGuard guard("UTC0");
    EXPECT_EQ(COrvTime(0u).Value(), 946684800);
    EXPECT_EQ(COrvTime(kMonday).Value(), 946684800 + static_cast<int64_t>(kMonday));
    EXPECT_EQ(COrvTime().Value(), 0);
}

TEST(OrvTime, ConversionKeepsNoState) {
    ZoneGuard guard("EST5EDT,M3.2.0,M11.1.0");
    const int64_t first = COrvTime(kMonday).Value();
    COrvTime(12345u);
    EXPECT_EQ(COrvTime(kMonday).Value(), first);
}

TEST(TimeFormat, CLocaleWhateverTheProcessLocale) {
    ZoneGuard guard("UTC0");
    // Prefer a real German locale; where the machine has none, the test still proves that the
    // helper ignores the process locale (the C locale then stays in force anyway).
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    if (german == nullptr)
        german = std::setlocale(LC_ALL, "de_DE");
    if (german == nullptr)
        german = std::setlocale(LC_ALL, "German_Germany.1252"); // the Windows name
    const int64_t t = COrvTime(kMonday).Value();
    EXPECT_EQ(FormatTime(t, "%A %d"), "Monday 07");
    EXPECT_EQ(FormatTime(t, "%b %Y"), "Dec 2026");
    EXPECT_EQ(FormatTime(t, "%X"), "14:05:09");
    std::setlocale(LC_ALL, "C");
}

TEST(TimeFormat, EmptyAndOutOfRange) {
    ZoneGuard guard("UTC0");
    EXPECT_EQ(FormatTime(0, ""), "");
    EXPECT_EQ(FormatTime(0, nullptr), "");
    EXPECT_EQ(FormatTime(INT64_MAX, "%X"), "");
    EXPECT_EQ(FormatTime(INT64_MIN, "%X"), "");
    // Longer than 127 characters: strftime gives nothing rather than a cut text.
    EXPECT_EQ(FormatTime(0, std::string(200, 'x').c_str()), "");
}
