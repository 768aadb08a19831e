#include "compliance/CivilDay.h"

#include <cstdio>
#include <cstdlib>

#include "orvtime/Calendar.h"

namespace compliance {
namespace {

const int64_t kEpochDay = DaysFromCivil(2000, 1, 1); // from 1970-01-01

} // namespace

std::string DayText(int64_t day) {
    const CivilDate c = CivilFromDays(day + kEpochDay);
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(c.year), c.month,
                  c.day);
    return text;
}

std::string StampText(uint32_t stamp) {
    const int64_t seconds = static_cast<int64_t>(stamp) % kSecondsPerDay;
    char time[16];
    std::snprintf(time, sizeof time, " %02d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return DayText(DayOfStamp(stamp)) + time;
}

bool ParseDay(const std::string& text, int64_t& day) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    const int year = std::atoi(text.substr(0, 4).c_str());
    const unsigned month = static_cast<unsigned>(std::atoi(text.substr(5, 2).c_str()));
    const unsigned date = static_cast<unsigned>(std::atoi(text.substr(8, 2).c_str()));
    if (month < 1 || month > 12 || date < 1 || date > 31) {
        return false;
    }
    const int64_t days = DaysFromCivil(year, month, date);
    const CivilDate back = CivilFromDays(days);
    if (back.month != month || back.day != date) {
        return false; // 2026-02-30
    }
    day = days - kEpochDay;
    return true;
}

} // namespace compliance
