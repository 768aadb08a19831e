#pragma once

// Which sensors of an instrument are due, overdue or failed at a date, and which sessions were
// used while they were: plain rules over the packed test outcomes of its sessions.
//
// A bump test or calibration that passed (a calibration whose record carries no result counts as
// done) makes the next one due that many days later: due on that day, overdue from it on (a bump
// interval of one day asks for a test on each day of use), "due" already within the warning
// window before it. A test that failed stays failed until one of its kind passes. A sensor never
// tested is overdue. A session was used while overdue or failed when, at its switch-on, a sensor
// seen in it or before it was so, its own tests counted (a bump test right after switch-on is how
// a day's use begins).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "compliance/ServiceEvent.h"

namespace compliance {

struct ServiceIntervals {
    int bumpDays = 1;
    int calibrationDays = 180;
    int warningDays = 14; // before a calibration's due day
};

// An instrument's own settings; an empty one takes the archive's.
struct IntervalOverride {
    std::optional<int> bumpDays;
    std::optional<int> calibrationDays;
    std::optional<int> warningDays;
};
ServiceIntervals Applied(const ServiceIntervals& archive, const IntervalOverride& own);

// Worst last: a sensor's status is the worse of its bump test's and its calibration's.
enum class ServiceStatus : uint8_t { Ok, Due, Overdue, Failed };
const char* ServiceStatusWord(ServiceStatus status); // "ok", "due", "overdue", "failed"

// One session of an instrument as the register reads it.
struct UsedSession {
    int64_t id = 0;
    bool dated = false;
    uint32_t stamp = 0; // its switch-on; meaningless when undated
    PackedTests tests;
};

// One kind of test of one sensor.
struct TestState {
    bool tested = false; // a conclusive test (pass, fail, or a calibration without a result)
    uint32_t lastStamp = 0;
    EventResult lastResult = EventResult::None;
    bool passed = false; // some test passed
    uint32_t lastPassStamp = 0;
    int failuresSincePass = 0;
    // Meaningful when passed: the day the next one is due.
    int64_t dueDay = 0;
};

struct SensorStatus {
    int sensor = 0;
    TestState bump;
    TestState calibration;
    ServiceStatus bumpStatus = ServiceStatus::Overdue;
    ServiceStatus calibrationStatus = ServiceStatus::Overdue;
    ServiceStatus status = ServiceStatus::Overdue;
    // Sessions switched on while this sensor was overdue or failed, in time order.
    std::vector<int64_t> usedWhileOverdue;
    int failuresSincePass = 0; // of both kinds
};

struct InstrumentStatus {
    std::vector<SensorStatus> sensors;             // in gas code order
    ServiceStatus status = ServiceStatus::Overdue; // the worst of its sensors'; overdue with none
    // Sessions used while any sensor was overdue or failed, in time order.
    std::vector<int64_t> usedWhileOverdue;
};

// The status at the end of day `atDay` (see DayOfStamp), from the sessions and tests up to then.
// `sessions` in any order.
InstrumentStatus EvaluateInstrument(std::vector<UsedSession> sessions,
                                    const ServiceIntervals& intervals, int64_t atDay);

// What needs doing, a line per test of a sensor that is overdue or failed: "Calibration of CO
// overdue since 2026-11-02", "Bump test of H2S never done", "Bump test of CO failed on
// 2026-11-20". Empty when all is ok or due.
std::vector<std::string> AttentionLines(const InstrumentStatus& status);

} // namespace compliance
