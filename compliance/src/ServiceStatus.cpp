#include "compliance/ServiceStatus.h"

#include <algorithm>
#include <array>

#include "compliance/CivilDay.h"

namespace compliance {
namespace {

constexpr int kSensorCodes = 256;

bool IsCalibration(EventKind kind) {
    return kind == EventKind::Calibration || kind == EventKind::FieldCalibration;
}

void Apply(TestState& state, const TestOutcome& outcome, int days) {
    if (outcome.result == EventResult::NotTested) {
        return;
    }
    state.tested = true;
    state.lastStamp = outcome.stamp;
    state.lastResult = outcome.result;
    if (outcome.result == EventResult::Fail) {
        ++state.failuresSincePass;
        return;
    }
    // A calibration whose record version carries no result was still made.
    state.passed = true;
    state.lastPassStamp = outcome.stamp;
    state.failuresSincePass = 0;
    state.dueDay = DayOfStamp(outcome.stamp) + days;
}

ServiceStatus StatusOf(const TestState& state, int64_t day, int warningDays) {
    if (state.tested && state.lastResult == EventResult::Fail) {
        return ServiceStatus::Failed;
    }
    if (!state.passed || day >= state.dueDay) {
        return ServiceStatus::Overdue;
    }
    return day >= state.dueDay - warningDays ? ServiceStatus::Due : ServiceStatus::Ok;
}

bool Unfit(const TestState& state, int64_t day) {
    const ServiceStatus status = StatusOf(state, day, 0);
    return status == ServiceStatus::Overdue || status == ServiceStatus::Failed;
}

struct Track {
    bool known = false;
    TestState bump;
    TestState calibration;
    std::vector<int64_t> used;
};

struct Intervals {
    int bump;
    int calibration;
};

void ApplyTo(Track& track, const TestOutcome& outcome, const Intervals& days) {
    track.known = true;
    if (outcome.kind == EventKind::Bump) {
        Apply(track.bump, outcome, days.bump);
    } else if (IsCalibration(outcome.kind)) {
        Apply(track.calibration, outcome, days.calibration);
    }
}

void Know(std::array<Track, kSensorCodes>& tracks, std::vector<int>& known, int sensor) {
    if (!tracks[sensor].known) {
        tracks[sensor].known = true;
        known.push_back(sensor);
    }
}

bool ValidSensor(int sensor) {
    return sensor >= 0 && sensor < kSensorCodes;
}

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
    case ServiceStatus::Due:
        return "due";
    case ServiceStatus::Overdue:
        return "overdue";
    default:
        return "failed";
    }
}

InstrumentStatus EvaluateInstrument(std::vector<UsedSession> sessions,
                                    const ServiceIntervals& intervals, int64_t atDay) {
    const Intervals days{intervals.bumpDays, intervals.calibrationDays};
    // Dated sessions in the order they were switched on, undated ones after them.
    std::stable_sort(sessions.begin(), sessions.end(),
                     [](const UsedSession& a, const UsedSession& b) {
                         if (a.dated != b.dated) {
                             return a.dated;
                         }
                         return a.dated && a.stamp != b.stamp ? a.stamp < b.stamp : a.id < b.id;
                     });
    std::vector<TestOutcome> outcomes;
    for (const UsedSession& s : sessions) {
        for (const TestOutcome& o : s.tests.outcomes) {
            if (ValidSensor(o.sensor) && DayOfStamp(o.stamp) <= atDay) {
                outcomes.push_back(o);
            }
        }
    }
    std::stable_sort(outcomes.begin(), outcomes.end(),
                     [](const TestOutcome& a, const TestOutcome& b) { return a.stamp < b.stamp; });

    std::array<Track, kSensorCodes> tracks;
    std::vector<int> known; // the sensors seen so far
    InstrumentStatus result;
    size_t next = 0;
    for (const UsedSession& s : sessions) {
        if (!s.dated || DayOfStamp(s.stamp) > atDay) {
            continue;
        }
        for (; next < outcomes.size() && outcomes[next].stamp < s.stamp; ++next) {
            Know(tracks, known, outcomes[next].sensor);
            ApplyTo(tracks[outcomes[next].sensor], outcomes[next], days);
        }
        for (int sensor : s.tests.sensors) {
            if (ValidSensor(sensor)) {
                Know(tracks, known, sensor);
            }
        }
        for (const TestOutcome& o : s.tests.outcomes) {
            if (ValidSensor(o.sensor)) {
                Know(tracks, known, o.sensor);
            }
        }
        const int64_t day = DayOfStamp(s.stamp);
        bool unfit = false;
        for (int sensor : known) {
            Track& track = tracks[sensor];
            // Its own tests count: a bump test just after switch-on makes the day's use fit.
            Track own;
            own.bump = track.bump;
            own.calibration = track.calibration;
            for (const TestOutcome& o : s.tests.outcomes) {
                if (o.sensor == sensor && DayOfStamp(o.stamp) <= atDay) {
                    ApplyTo(own, o, days);
                }
            }
            if (Unfit(own.bump, day) || Unfit(own.calibration, day)) {
                track.used.push_back(s.id);
                unfit = true;
            }
        }
        if (unfit) {
            result.usedWhileOverdue.push_back(s.id);
        }
    }
    for (; next < outcomes.size(); ++next) {
        ApplyTo(tracks[outcomes[next].sensor], outcomes[next], days);
    }
    for (const UsedSession& s : sessions) {
        for (int gas : s.tests.sensors) {
            if (ValidSensor(gas) && (!s.dated || DayOfStamp(s.stamp) <= atDay)) {
                tracks[gas].known = true;
            }
        }
    }

    bool any = false;
    result.status = ServiceStatus::Ok;
    for (int sensor = 0; sensor < kSensorCodes; ++sensor) {
        Track& track = tracks[sensor];
        if (!track.known) {
            continue;
        }
        SensorStatus status;
        status.sensor = sensor;
        status.bump = track.bump;
        status.calibration = track.calibration;
        status.bumpStatus = StatusOf(track.bump, atDay, 0);
        status.calibrationStatus = StatusOf(track.calibration, atDay, intervals.warningDays);
        status.status = std::max(status.bumpStatus, status.calibrationStatus);
        status.usedWhileOverdue = std::move(track.used);
        status.failuresSincePass =
            track.bump.failuresSincePass + track.calibration.failuresSincePass;
        result.status = std::max(result.status, status.status);
        result.sensors.push_back(std::move(status));
        any = true;
    }
    if (!any) {
        result.status = ServiceStatus::Overdue;
    }
    return result;
}

std::vector<std::string> AttentionLines(const InstrumentStatus& status) {
    std::vector<std::string> lines;
    for (const SensorStatus& s : status.sensors) {
        const std::string gas = SensorGasName(s.sensor);
        const struct {
            const char* test;
            const TestState& state;
            ServiceStatus status;
        } tests[] = {{"Bump test", s.bump, s.bumpStatus},
                     {"Calibration", s.calibration, s.calibrationStatus}};
        for (const auto& t : tests) {
            const std::string what = std::string(t.test) + " of " + gas;
            if (t.status == ServiceStatus::Failed) {
                lines.push_back(what + " failed on " + DayText(DayOfStamp(t.state.lastStamp)));
            } else if (t.status == ServiceStatus::Overdue) {
                lines.push_back(t.state.passed ? what + " overdue since " + DayText(t.state.dueDay)
                                               : what + " never done");
            }
        }
    }
    return lines;
}

} // namespace compliance
