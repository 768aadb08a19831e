#pragma once

// What a wearer breathed of one toxic gas over one day: the 8-hour time-weighted average and the
// highest 15-minute short-term exposure, from the readings the instrument logged. Plain C++:
// every view (the command line, the archive window, the pack, the web view) asks Evaluate, so
// that a figure reads the same wherever it is shown.
//
// The rule:
// - The readings of a session are a step function: each value holds from its time until the next
//   reading, for at most the session's logging interval; beyond that, and outside the session
//   (the instrument off), the concentration counts as zero.
// - A negative reading counts as zero; an over-range reading counts at the top of its range, and
//   the figures say that one was met.
// - Where two sessions of one wearer overlap (two instruments at once), the higher value counts.
// - TWA: the integral of the function over the day divided by 8 hours, whatever the shift's
//   length: E = (C1*T1 + ... + Cn*Tn) / 8 h.
// - STEL: the highest average of the function over any 15-minute window.

#include <cstdint>
#include <vector>

namespace compliance {

constexpr int64_t kTwaSeconds = 8 * 3600;
constexpr int64_t kStelSeconds = 15 * 60;

struct ExposureReading {
    int64_t time = 0;       // seconds, on one clock for all sessions of the day
    double value = 0.0;     // in the gas's unit (ppm)
    bool overRange = false; // the instrument's over-range mark: value is the top of the range
};

// One session's readings of the gas, in any order, and when the instrument was on.
struct ExposureSession {
    int64_t switchOn = 0;
    int64_t switchOff = 0;
    // How long a reading holds: the most common gap between the session's timed readings
    // (LoggingInterval); 0 when it has none, and then each reading holds until the next one.
    int64_t interval = 0;
    std::vector<ExposureReading> readings;
};

struct ExposureLimits {
    double twa = 0.0;
    double stel = 0.0;
};

struct ExposureFigures {
    int64_t shiftStart = 0; // first switch-on
    int64_t shiftEnd = 0;   // last switch-off
    int64_t secondsMeasured = 0;
    double twa = 0.0;
    double stel = 0.0;
    int64_t stelEnd = 0; // the end of the worst 15-minute window
    double peak = 0.0;
    bool overRange = false;
    // Seconds at or above each alarm level given, in the order given.
    std::vector<int64_t> secondsAtOrAbove;
    bool twaOver = false;
    bool stelOver = false;
};

// The most common gap between consecutive times (sorted or not); the shorter gap wins a tie;
// 0 for fewer than two times.
int64_t LoggingInterval(std::vector<int64_t> times);

// The figures of one wearer's sessions of one day, for one gas.
ExposureFigures Evaluate(const std::vector<ExposureSession>& sessions,
                         const std::vector<double>& alarmLevels, const ExposureLimits& limits);

} // namespace compliance
