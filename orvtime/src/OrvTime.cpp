#include "orvtime/OrvTime.h"

#include "orvtime/Calendar.h"

#include <ctime>

namespace {

constexpr int64_t kSecondsPerDay = 86400;

} // namespace

CivilDate CivilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

COrvTime::COrvTime() : m_time(0) {}

COrvTime::COrvTime(unsigned int stamp) {
    // Break the stamp into the instrument's wall-clock fields, then let mktime find the moment at
    // which this PC's local clock shows them.
    const int64_t wall = DaysFromCivil(2000, 1, 1) * kSecondsPerDay + static_cast<int64_t>(stamp);
    const int64_t days = wall / kSecondsPerDay;
    const int64_t secs = wall % kSecondsPerDay;
    const CivilDate date = CivilFromDays(days);
    const int year = static_cast<int>(date.year);
    const int month = static_cast<int>(date.month);
    const int day = static_cast<int>(date.day);

    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = static_cast<int>(secs / 3600);
    tm.tm_min = static_cast<int>(secs / 60 % 60);
    tm.tm_sec = static_cast<int>(secs % 60);
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    // mktime fails only for times the C library cannot represent; fall back to the wall-clock
    // count read as UTC so that the value stays defined.
    m_time = t == static_cast<std::time_t>(-1) ? wall : static_cast<int64_t>(t);
}
