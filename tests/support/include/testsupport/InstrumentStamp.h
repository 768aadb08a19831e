#pragma once

#include <cstdint>

namespace testsupport {

// The instrument's stamp of a wall-clock time: seconds since 2000-01-01 00:00:00 on its own
// clock, which knows no zone. Worked out on the civil calendar, so that no test depends on the
// machine's time zone or on timegm.
inline uint32_t InstrumentStamp(int year, int month, int day, int hour = 0, int minute = 0,
                                int second = 0) {
    auto daysFromCivil = [](int y, int m, int d) {
        y -= m <= 2;
        const int era = (y >= 0 ? y : y - 399) / 400;
        const int yoe = y - era * 400;
        const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097L + doe - 719468L;
    };
    const long days = daysFromCivil(year, month, day) - daysFromCivil(2000, 1, 1);
    return static_cast<uint32_t>(days * 86400L + hour * 3600L + minute * 60L + second);
}

} // namespace testsupport
