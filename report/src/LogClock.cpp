#include "LogClock.h"

#include "orvtime/OrvTime.h"

int64_t LogClock::Convert(uint32_t stamp) {
    const uint32_t hourStart = stamp - stamp % 3600;
    if (!m_valid || hourStart != m_hourStart) {
        m_hourStart = hourStart;
        m_hourValue = COrvTime(hourStart).Value();
        m_linear = COrvTime(hourStart + 3599).Value() - m_hourValue == 3599;
        m_valid = true;
    }
    if (!m_linear) {
        return COrvTime(stamp).Value();
    }
    return m_hourValue + (stamp - hourStart);
}
