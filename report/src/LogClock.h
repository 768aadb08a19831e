#pragma once

#include <cstdint>

// Converts instrument time stamps to calendar time for one rendering. The conversion goes
// through the platform's local-time rules, which can cost a file check per call; a session's
// stamps cluster within a few hours, so the clock converts each wall-clock hour once and adds the
// seconds within it. An hour whose two ends are not 3,599 seconds apart holds a clock change and
// is converted stamp by stamp.
class LogClock {
public:
    int64_t Convert(uint32_t stamp);

private:
    bool m_valid = false;
    bool m_linear = false;
    uint32_t m_hourStart = 0;
    int64_t m_hourValue = 0;
};
