#pragma once

// The register's rules: what is due, overdue or failed for an instrument at a date, and which
// sessions were used while it was. Every view (the command line's tables, the compliance pack,
// the Instruments window, the status line after GO, the tree's marks and the watcher's log) shows
// what these functions answer and decides nothing of it itself.
//
// - A test is made when it passed or its record carries no verdict (a calibration of the record
//   version without results, every field calibration); a field calibration counts as a
//   calibration. "Not tested" is no test of that sensor.
// - A kind whose last test was made is next due that many days after it (bump tests by the bump
//   interval, calibrations by the calibration interval): "due" within the warning window before
//   that day, overdue from that day on (a bump interval of one day asks for a test on each day of
//   use).
// - A kind whose last test failed is failed, and due on the day it failed: it needs doing before
//   the next use.
// - A kind never tested has no due day and is overdue.
// - Failures since pass: the failed tests after the latest made one of the same kind, bump tests
//   and calibrations added.
// - The instrument's own checks (soundness test, filter check) have no interval: one that failed
//   with none made since makes the instrument failed.
// - An instrument of which the archive holds no test at all is "no tests archived yet", never
//   overdue: the register knows only what the archive holds.
// - A session was used while overdue or failed when, at its switch-on, a sensor seen in it or
//   before it was so, or a check had failed, its own tests counted (a bump test right after
//   switch-on is how a day's use begins).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "compliance/ServiceEvent.h"
#include "report/SensorNames.h"

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
// "every 7 days"; "every day" for 1.
std::string EveryDays(int days);
// "bump test every day, calibration every 180 days, due 14 days before" (1 day before).
std::string IntervalsText(const ServiceIntervals& intervals);

// Worst last: an instrument's status is the worst of its sensors' and checks'.
enum class ServiceStatus : uint8_t { Ok, NoTests, Due, Overdue, Failed };
// "ok", "no tests archived yet", "due", "overdue", "failed"
const char* ServiceStatusWord(ServiceStatus status);
// Overdue or failed: what a scheduled check warns of and the pack prints in bold.
bool NeedsAction(ServiceStatus status);

// A pass, or a record that carries no verdict.
bool CountsAsMade(EventResult result);
// The kind a test counts as: a field calibration is a calibration.
EventKind CountedKind(EventKind kind);

// One session of an instrument as the register reads it.
struct UsedSession {
    int64_t id = 0;
    bool dated = false;
    uint32_t stamp = 0; // its switch-on; meaningless when undated
    PackedTests tests;
};

// The register's answer for one kind of test of one sensor, or for one of the instrument's
// checks.
struct KindVerdict {
    bool tested = false; // some test made or failed
    uint32_t lastStamp = 0;
    EventResult lastResult = EventResult::None; // of the last test; meaningful when tested
    std::optional<int64_t> dueDay;              // none when never tested (or a check not failed)
    ServiceStatus status = ServiceStatus::Overdue;
    int failuresSincePass = 0;
};

struct SensorStatus {
    int sensor = 0; // its gas code
    // Its number, as every view numbers it: its place in the order of InstrumentSensorOrder.
    int number = 0;
    KindVerdict bump;
    KindVerdict calibration;
    ServiceStatus status = ServiceStatus::Overdue; // the worse of the two
    // Sessions switched on while this sensor was overdue or failed, in time order.
    std::vector<int64_t> usedWhileOverdue;
    int failuresSincePass = 0; // of both kinds
};

struct InstrumentStatus {
    std::vector<SensorStatus> sensors; // in the order of their numbers
    KindVerdict soundness;             // the instrument's own checks
    KindVerdict filter;
    ServiceStatus status = ServiceStatus::NoTests;
    // Sessions used while any sensor was overdue or failed or a check had failed, in time order.
    std::vector<int64_t> usedWhileOverdue;
    // How the instrument stood at each dated session's switch-on (by its stamp): the tests made
    // before it and the session's own counted, judged on its day.
    std::map<uint32_t, ServiceStatus> atSwitchOn;
};

// The order of an instrument's sensors (report/SensorNames.h) as its sessions' test records list
// them, the dated sessions in the order they were switched on and the undated ones after them: all
// of them, so that a sensor keeps its number whatever day its status is asked for. `sessions` in
// any order.
SensorOrder InstrumentSensorOrder(std::vector<UsedSession> sessions);

// The status at the end of day `atDay` (see DayOfStamp), from the sessions and tests up to then.
// `sessions` in any order.
InstrumentStatus EvaluateInstrument(std::vector<UsedSession> sessions,
                                    const ServiceIntervals& intervals, int64_t atDay);

// What needs doing, worst first (failed, then overdue, then due), a line per test:
// "Filter check failed on 2026-11-20", "Bump test of CO failed on 2026-11-20", "Calibration of
// CO overdue since 2026-11-02", "Bump test of H2S never done", "Calibration of CO due on
// 2026-12-14"; "No tests archived yet" for an instrument of which the archive holds none. Empty
// when all is ok.
std::vector<std::string> AttentionLines(const InstrumentStatus& status);

// The lines of AttentionLines that tell of the instrument's own checks.
std::vector<std::string> CheckLines(const InstrumentStatus& status);

// "YYYY-MM-DD" of a verdict's due day; empty when it has none.
std::string DueDayText(const KindVerdict& verdict);

// One test as the register's history lists it.
struct HistoryTest {
    EventKind kind = EventKind::Bump;
    int sensor = kNoSensor;
    uint32_t stamp = 0;
    EventResult result = EventResult::None;
};
// For each test of `tests` (in time order) that failed, the index of the first later test of the
// same counted kind and sensor that was made; tests.size() where none was. Tests that did not
// fail get tests.size() too.
std::vector<size_t> MadeAfterFailures(const std::vector<HistoryTest>& tests);

} // namespace compliance
