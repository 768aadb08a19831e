#pragma once

#include <cstdint>
#include <string>

// Days and times of the instrument's clock (seconds since 2000-01-01 00:00:00 of its wall clock),
// counted and written without any time zone: the register compares days as the instrument
// shows them.
namespace compliance {

constexpr int64_t kSecondsPerDay = 86400;

// The day of a stamp: 0 is 2000-01-01.
inline int64_t DayOfStamp(uint32_t stamp) {
    return static_cast<int64_t>(stamp) / kSecondsPerDay;
}
// "YYYY-MM-DD" of a day number.
std::string DayText(int64_t day);
// "YYYY-MM-DD HH:MM:SS" of a stamp.
std::string StampText(uint32_t stamp);
// A "YYYY-MM-DD" text that names a real date, as a day number; false otherwise.
bool ParseDay(const std::string& text, int64_t& day);

} // namespace compliance
