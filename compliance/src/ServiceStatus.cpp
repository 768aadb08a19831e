#include "compliance/ServiceStatus.h"

#include <algorithm>
#include <array>
#include <climits>
#include <iterator>
#include <map>
#include <utility>

#include "compliance/CivilDay.h"

namespace compliance {
namespace {

constexpr int kSensorCodes = 256;

// What has happened to one kind of test so far, in time order.
struct KindHistory {
    bool tested = false;
    uint32_t lastStamp = 0;
    EventResult lastResult = EventResult::None;
    uint32_t lastMadeStamp = 0;
    int failuresSincePass = 0;

    void Add(const TestOutcome& outcome) {
        if (outcome.result == EventResult::NotTested) {
            return;
        }
        tested = true;
        lastStamp = outcome.stamp;
        lastResult = outcome.result;
        if (CountsAsMade(outcome.result)) {
            lastMadeStamp = outcome.stamp;
            failuresSincePass = 0;
        } else {
            ++failuresSincePass;
        }
    }
};

struct KindRule {
    int intervalDays; // 0: none (the instrument's checks)
    int warningDays;
};

// The one place that turns what happened into a due day and a status.
KindVerdict Judge(const KindHistory& history, const KindRule& rule, int64_t day) {
    KindVerdict verdict;
    verdict.tested = history.tested;
    verdict.lastStamp = history.lastStamp;
    verdict.lastResult = history.lastResult;
    verdict.failuresSincePass = history.failuresSincePass;
    if (!history.tested) {
        verdict.status = rule.intervalDays > 0 ? ServiceStatus::Overdue : ServiceStatus::Ok;
        return verdict;
    }
    if (history.lastResult == EventResult::Fail) {
        verdict.dueDay = DayOfStamp(history.lastStamp);
        verdict.status = ServiceStatus::Failed;
        return verdict;
    }
    if (rule.intervalDays <= 0) {
        verdict.status = ServiceStatus::Ok;
        return verdict;
    }
    const int64_t due = DayOfStamp(history.lastMadeStamp) + rule.intervalDays;
    verdict.dueDay = due;
    verdict.status = day >= due                      ? ServiceStatus::Overdue
                     : day >= due - rule.warningDays ? ServiceStatus::Due
                                                     : ServiceStatus::Ok;
    return verdict;
}

struct Rules {
    KindRule bump;
    KindRule calibration;
    KindRule check;
};

bool IsCheck(EventKind kind) {
    return kind == EventKind::Soundness || kind == EventKind::Filter;
}

bool ValidSensor(int sensor) {
    return sensor >= 0 && sensor < kSensorCodes;
}

bool Valid(const TestOutcome& outcome) {
    return IsCheck(outcome.kind) ? outcome.sensor == kNoSensor : ValidSensor(outcome.sensor);
}

struct Track {
    bool known = false;
    KindHistory bump;
    KindHistory calibration;
    std::vector<int64_t> used;
};

struct Checks {
    KindHistory soundness;
    KindHistory filter;
};

// Whether an outcome is a test the register counts (so the archive holds a test of the
// instrument).
bool Counts(const TestOutcome& outcome) {
    const EventKind kind = CountedKind(outcome.kind);
    return outcome.result != EventResult::NotTested &&
           (kind == EventKind::Bump || kind == EventKind::Calibration || IsCheck(kind));
}

void ApplyTo(KindHistory& bump, KindHistory& calibration, const TestOutcome& outcome) {
    switch (CountedKind(outcome.kind)) {
    case EventKind::Bump:
        bump.Add(outcome);
        break;
    case EventKind::Calibration:
        calibration.Add(outcome);
        break;
    default:
        break;
    }
}

void ApplyTo(Checks& checks, const TestOutcome& outcome) {
    if (outcome.kind == EventKind::Soundness) {
        checks.soundness.Add(outcome);
    } else if (outcome.kind == EventKind::Filter) {
        checks.filter.Add(outcome);
    }
}

// Dated sessions in the order they were switched on, undated ones after them.
void InTimeOrder(std::vector<UsedSession>& sessions) {
    std::stable_sort(sessions.begin(), sessions.end(),
                     [](const UsedSession& a, const UsedSession& b) {
                         if (a.dated != b.dated) {
                             return a.dated;
                         }
                         return a.dated && a.stamp != b.stamp ? a.stamp < b.stamp : a.id < b.id;
                     });
}

bool Unfit(ServiceStatus status) {
    return status == ServiceStatus::Overdue || status == ServiceStatus::Failed;
}

class Walk {
public:
    explicit Walk(const Rules& rules) : m_rules(rules) {}

    void Apply(const TestOutcome& outcome) {
        m_anyTest = m_anyTest || Counts(outcome);
        if (IsCheck(outcome.kind)) {
            ApplyTo(m_checks, outcome);
            return;
        }
        Know(outcome.sensor);
        ApplyTo(m_tracks[outcome.sensor].bump, m_tracks[outcome.sensor].calibration, outcome);
    }

    void Know(int sensor) {
        if (ValidSensor(sensor) && !m_tracks[sensor].known) {
            m_tracks[sensor].known = true;
            m_known.push_back(sensor);
        }
    }

    // How the instrument stood when the session was switched on at `day`, its own tests `own`
    // counted (the bump test that begins it); `unfit` whether it was used while overdue or
    // failed, each sensor that was so keeping it. No test archived yet: NoTests, and not unfit.
    ServiceStatus AtSwitchOn(int64_t id, int64_t day, const std::vector<TestOutcome>& own,
                             bool& unfit) {
        unfit = false;
        bool anyTest = m_anyTest;
        Checks checks = m_checks;
        for (const TestOutcome& o : own) {
            anyTest = anyTest || Counts(o);
            ApplyTo(checks, o);
        }
        if (!anyTest) {
            return ServiceStatus::NoTests;
        }
        ServiceStatus status =
            std::max(compliance::Judge(checks.soundness, m_rules.check, day).status,
                     compliance::Judge(checks.filter, m_rules.check, day).status);
        unfit = Unfit(status);
        // A calibration's warning window is no reason to call a day's use unfit.
        const KindRule calibration{m_rules.calibration.intervalDays, 0};
        for (int sensor : m_known) {
            Track& track = m_tracks[sensor];
            KindHistory bump = track.bump;
            KindHistory cal = track.calibration;
            for (const TestOutcome& o : own) {
                if (o.sensor == sensor && !IsCheck(o.kind)) {
                    ApplyTo(bump, cal, o);
                }
            }
            const ServiceStatus bumpStatus = compliance::Judge(bump, m_rules.bump, day).status;
            status = std::max(
                {status, bumpStatus, compliance::Judge(cal, m_rules.calibration, day).status});
            if (Unfit(bumpStatus) || Unfit(compliance::Judge(cal, calibration, day).status)) {
                track.used.push_back(id);
                unfit = true;
            }
        }
        return status;
    }

    InstrumentStatus Result(int64_t atDay, std::vector<int64_t> used,
                            std::map<uint32_t, ServiceStatus> atSwitchOn) {
        InstrumentStatus result;
        result.usedWhileOverdue = std::move(used);
        result.atSwitchOn = std::move(atSwitchOn);
        result.soundness = compliance::Judge(m_checks.soundness, m_rules.check, atDay);
        result.filter = compliance::Judge(m_checks.filter, m_rules.check, atDay);
        result.status = std::max(result.soundness.status, result.filter.status);
        for (int sensor = 0; sensor < kSensorCodes; ++sensor) {
            Track& track = m_tracks[sensor];
            if (!track.known) {
                continue;
            }
            SensorStatus status;
            status.sensor = sensor;
            status.bump = compliance::Judge(track.bump, m_rules.bump, atDay);
            status.calibration = compliance::Judge(track.calibration, m_rules.calibration, atDay);
            status.status = std::max(status.bump.status, status.calibration.status);
            status.usedWhileOverdue = std::move(track.used);
            status.failuresSincePass =
                status.bump.failuresSincePass + status.calibration.failuresSincePass;
            result.status = std::max(result.status, status.status);
            result.sensors.push_back(std::move(status));
        }
        if (!m_anyTest) {
            // Whatever the sensors' records name, nothing archived says how they stand.
            result.status = ServiceStatus::NoTests;
            for (SensorStatus& s : result.sensors) {
                s.bump.status = s.calibration.status = s.status = ServiceStatus::NoTests;
            }
            result.soundness.status = result.filter.status = ServiceStatus::NoTests;
        }
        return result;
    }

private:
    Rules m_rules;
    std::array<Track, kSensorCodes> m_tracks;
    std::vector<int> m_known; // in the order first seen
    Checks m_checks;
    bool m_anyTest = false;
};

} // namespace

ServiceIntervals Applied(const ServiceIntervals& archive, const IntervalOverride& own) {
    ServiceIntervals applied = archive;
    applied.bumpDays = own.bumpDays.value_or(archive.bumpDays);
    applied.calibrationDays = own.calibrationDays.value_or(archive.calibrationDays);
    applied.warningDays = own.warningDays.value_or(archive.warningDays);
    return applied;
}

const char* ServiceStatusWord(ServiceStatus status) {
    switch (status) {
    case ServiceStatus::Ok:
        return "ok";
    case ServiceStatus::NoTests:
        return "no tests archived yet";
    case ServiceStatus::Due:
        return "due";
    case ServiceStatus::Overdue:
        return "overdue";
    default:
        return "failed";
    }
}

bool NeedsAction(ServiceStatus status) {
    return status == ServiceStatus::Overdue || status == ServiceStatus::Failed;
}

bool CountsAsMade(EventResult result) {
    return result == EventResult::Pass || result == EventResult::None;
}

EventKind CountedKind(EventKind kind) {
    return kind == EventKind::FieldCalibration ? EventKind::Calibration : kind;
}

SensorOrder InstrumentSensorOrder(std::vector<UsedSession> sessions) {
    InTimeOrder(sessions);
    SensorOrder order;
    for (const UsedSession& s : sessions) {
        order.Add(s.tests.sensors);
    }
    return order;
}

InstrumentStatus EvaluateInstrument(std::vector<UsedSession> sessions,
                                    const ServiceIntervals& intervals, int64_t atDay) {
    const Rules rules{
        {intervals.bumpDays, 0}, {intervals.calibrationDays, intervals.warningDays}, {0, 0}};
    InTimeOrder(sessions);
    auto inTime = [atDay](const TestOutcome& o) {
        return Valid(o) && DayOfStamp(o.stamp) <= atDay;
    };
    std::vector<TestOutcome> outcomes;
    for (const UsedSession& s : sessions) {
        std::copy_if(s.tests.outcomes.begin(), s.tests.outcomes.end(), std::back_inserter(outcomes),
                     inTime);
    }
    std::stable_sort(outcomes.begin(), outcomes.end(),
                     [](const TestOutcome& a, const TestOutcome& b) { return a.stamp < b.stamp; });

    Walk walk(rules);
    std::vector<int64_t> used;
    std::map<uint32_t, ServiceStatus> atSwitchOn;
    size_t next = 0;
    std::vector<TestOutcome> own;
    for (const UsedSession& s : sessions) {
        if (!s.dated || DayOfStamp(s.stamp) > atDay) {
            continue;
        }
        for (; next < outcomes.size() && outcomes[next].stamp < s.stamp; ++next) {
            walk.Apply(outcomes[next]);
        }
        for (int sensor : s.tests.sensors) {
            walk.Know(sensor);
        }
        own.clear();
        for (const TestOutcome& o : s.tests.outcomes) {
            if (Valid(o)) {
                walk.Know(o.sensor);
            }
            if (inTime(o)) {
                own.push_back(o);
            }
        }
        bool unfit = false;
        atSwitchOn[s.stamp] = walk.AtSwitchOn(s.id, DayOfStamp(s.stamp), own, unfit);
        if (unfit) {
            used.push_back(s.id);
        }
    }
    for (; next < outcomes.size(); ++next) {
        walk.Apply(outcomes[next]);
    }
    for (const UsedSession& s : sessions) {
        if (!s.dated || DayOfStamp(s.stamp) <= atDay) {
            for (int sensor : s.tests.sensors) {
                walk.Know(sensor);
            }
        }
    }
    InstrumentStatus status = walk.Result(atDay, std::move(used), std::move(atSwitchOn));
    const SensorOrder order = InstrumentSensorOrder(std::move(sessions));
    for (SensorStatus& s : status.sensors) {
        s.number = order.Number(s.sensor);
    }
    // A sensor only an outcome names (none: each session's sensors list every one its tests
    // name) after the numbered ones, by gas code.
    std::stable_sort(status.sensors.begin(), status.sensors.end(),
                     [](const SensorStatus& a, const SensorStatus& b) {
                         return (a.number == 0 ? INT_MAX : a.number) <
                                (b.number == 0 ? INT_MAX : b.number);
                     });
    return status;
}

std::string DueDayText(const KindVerdict& verdict) {
    return verdict.dueDay ? DayText(*verdict.dueDay) : std::string();
}

namespace {

struct NamedVerdict {
    std::string what;
    const KindVerdict* verdict;
};

// "Bump test of CO failed on 2026-11-20" of the tests whose status is `status`, in order.
void AddLines(const std::vector<NamedVerdict>& tests, ServiceStatus status,
              std::vector<std::string>& lines) {
    for (const NamedVerdict& t : tests) {
        const KindVerdict& v = *t.verdict;
        if (v.status != status) {
            continue;
        }
        if (status == ServiceStatus::Failed) {
            lines.push_back(t.what + " failed on " + DayText(DayOfStamp(v.lastStamp)));
        } else if (status == ServiceStatus::Overdue) {
            lines.push_back(v.dueDay ? t.what + " overdue since " + DueDayText(v)
                                     : t.what + " never done");
        } else if (status == ServiceStatus::Due) {
            lines.push_back(t.what + " due on " + DueDayText(v));
        }
    }
}

std::vector<NamedVerdict> CheckVerdicts(const InstrumentStatus& status) {
    return {{"Soundness test", &status.soundness}, {"Filter check", &status.filter}};
}

} // namespace

std::vector<std::string> CheckLines(const InstrumentStatus& status) {
    std::vector<std::string> lines;
    for (ServiceStatus worst :
         {ServiceStatus::Failed, ServiceStatus::Overdue, ServiceStatus::Due}) {
        AddLines(CheckVerdicts(status), worst, lines);
    }
    return lines;
}

std::vector<std::string> AttentionLines(const InstrumentStatus& status) {
    if (status.status == ServiceStatus::NoTests) {
        return {"No tests archived yet"};
    }
    std::vector<NamedVerdict> tests = CheckVerdicts(status);
    for (const SensorStatus& s : status.sensors) {
        const std::string gas = SensorGasName(s.sensor);
        tests.push_back({"Bump test of " + gas, &s.bump});
        tests.push_back({"Calibration of " + gas, &s.calibration});
    }
    std::vector<std::string> lines;
    for (ServiceStatus worst :
         {ServiceStatus::Failed, ServiceStatus::Overdue, ServiceStatus::Due}) {
        AddLines(tests, worst, lines);
    }
    return lines;
}

std::vector<size_t> MadeAfterFailures(const std::vector<HistoryTest>& tests) {
    std::vector<size_t> after(tests.size(), tests.size());
    // Walking back in time: the earliest made test seen so far of each counted kind and sensor.
    std::map<std::pair<int, int>, size_t> made;
    for (size_t k = tests.size(); k-- > 0;) {
        const HistoryTest& t = tests[k];
        const std::pair<int, int> key(static_cast<int>(CountedKind(t.kind)), t.sensor);
        if (t.result == EventResult::Fail) {
            const auto found = made.find(key);
            after[k] = found == made.end() ? tests.size() : found->second;
        } else if (CountsAsMade(t.result)) {
            made[key] = k;
        }
    }
    return after;
}

std::string EveryDays(int days) {
    return days == 1 ? std::string("every day") : "every " + std::to_string(days) + " days";
}

std::string IntervalsText(const ServiceIntervals& intervals) {
    return "bump test " + EveryDays(intervals.bumpDays) + ", calibration " +
           EveryDays(intervals.calibrationDays) + ", due " + std::to_string(intervals.warningDays) +
           (intervals.warningDays == 1 ? " day" : " days") + " before";
}

} // namespace compliance
