#pragma once

#include <cstdint>

// Calendar time of an instrument time stamp. The instrument's clock keeps local wall-clock time,
// so the value is the seconds-since-1970 count whose local time on this PC shows that same
// wall-clock time, whatever the PC's time zone.
class COrvTime {
public:
    COrvTime();
    // stamp: seconds since 2000-01-01 00:00:00 of the instrument's clock.
    explicit COrvTime(unsigned int stamp);

    int64_t Value() const { return m_time; }

private:
    int64_t m_time; // the whole value: signed seconds since 1970-01-01 00:00:00 UTC
};
