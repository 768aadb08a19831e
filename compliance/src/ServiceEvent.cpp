#include "compliance/ServiceEvent.h"

#include <cstdio>
#include <cstdlib>

#include "report/FigureText.h"
#include "report/SensorNames.h"
#include "report/SessionValues.h"

namespace compliance {
namespace {

struct KindName {
    EventKind kind;
    const char* word;
    char letter; // in the packed text
};
constexpr KindName kKinds[] = {
    {EventKind::Bump, "bump", 'B'},
    {EventKind::Calibration, "calibration", 'C'},
    {EventKind::Zero, "zero", 'Z'},
    {EventKind::FieldCalibration, "field-calibration", 'F'},
    {EventKind::Soundness, "soundness", 'S'},
    {EventKind::Filter, "filter", 'K'},
};

struct ResultName {
    EventResult result;
    const char* word;
    char letter;
};
constexpr ResultName kResults[] = {
    {EventResult::Pass, "pass", 'P'},
    {EventResult::Fail, "fail", 'F'},
    {EventResult::NotTested, "not tested", 'X'},
    {EventResult::None, "none", 'N'},
};

EventResult ResultOf(TestResult result) {
    switch (result) {
    case TestResult::Pass:
        return EventResult::Pass;
    case TestResult::Fail:
        return EventResult::Fail;
    case TestResult::NotTested:
        return EventResult::NotTested;
    default:
        return EventResult::None;
    }
}

std::string ValueText(const SensorValue& sensor) {
    const SensorFigures figures = TestedSensorFigures(sensor);
    return figures.Second.empty() ? figures.First : figures.First + " / " + figures.Second;
}

TestResult TestedAs(EventResult result) {
    switch (result) {
    case EventResult::Pass:
        return TestResult::Pass;
    case EventResult::Fail:
        return TestResult::Fail;
    case EventResult::NotTested:
        return TestResult::NotTested;
    case EventResult::None:
        break;
    }
    return TestResult::None;
}

bool SensorKind(RecordKind record, EventKind& kind) {
    switch (record) {
    case RecordKind::BumpTest:
        kind = EventKind::Bump;
        return true;
    case RecordKind::Calibration:
        kind = EventKind::Calibration;
        return true;
    case RecordKind::Zero:
        kind = EventKind::Zero;
        return true;
    case RecordKind::FieldCalibration:
        kind = EventKind::FieldCalibration;
        return true;
    default:
        return false;
    }
}

// Reads a decimal number of at most `limit` from text[at...]; false when there is none or it is
// too large.
bool ReadNumber(const std::string& text, size_t& at, uint64_t limit, uint64_t& value) {
    const size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        value = value * 10 + static_cast<uint64_t>(text[at] - '0');
        if (value > limit || at - start >= 10) {
            return false;
        }
        ++at;
    }
    return at > start;
}

} // namespace

const char* EventKindWord(EventKind kind) {
    for (const KindName& k : kKinds) {
        if (k.kind == kind) {
            return k.word;
        }
    }
    return "";
}

const char* EventResultWord(EventResult result) {
    for (const ResultName& r : kResults) {
        if (r.result == result) {
            return r.word;
        }
    }
    return "";
}

const char* EventResultText(EventResult result) {
    return TestResultWord(TestedAs(result));
}

bool ParseEventKind(const std::string& word, EventKind& kind) {
    for (const KindName& k : kKinds) {
        if (word == k.word) {
            kind = k.kind;
            return true;
        }
    }
    return false;
}

bool ParseEventResult(const std::string& word, EventResult& result) {
    for (const ResultName& r : kResults) {
        if (word == r.word) {
            result = r.result;
            return true;
        }
    }
    return false;
}

std::string SensorGasName(int sensor) {
    return sensor >= 0 ? ::SensorGasName(static_cast<unsigned>(sensor))
                       : "gas " + std::to_string(sensor);
}

std::string EventValueUnit(int sensor, EventResult result) {
    if (sensor < 0) {
        return std::string();
    }
    return UnitText(SensorValueUnit(static_cast<unsigned>(sensor), TestedAs(result)));
}

std::string EventValueText(const std::string& value, int sensor, EventResult result) {
    const std::string unit = value.empty() ? std::string() : EventValueUnit(sensor, result);
    return unit.empty() ? value : value + ' ' + unit;
}

std::string SensorRange(int sensor) {
    return sensor >= 0 ? std::string(GasInfoOf(static_cast<unsigned>(sensor)).Range)
                       : std::string();
}

SessionTests DeriveSessionTests(SessionByteSource& source, int16_t slot) {
    SessionTests tests;
    SensorOrder order;
    const ModeNameList noNames;
    SessionRecordReader reader(source, slot, noNames);
    RecordValue r;
    std::string user;
    std::string job;
    while (reader.Next(r)) {
        if (r.Kind == RecordKind::UserName) {
            user = r.Text;
            continue;
        }
        if (r.Kind == RecordKind::JobNumber) {
            job = r.Text;
            continue;
        }
        ServiceEvent event;
        event.stamp = r.Stamp;
        event.user = user;
        event.job = job;
        EventKind kind;
        if (SensorKind(r.Kind, kind)) {
            event.kind = kind;
            order.Add(r.Sensors);
            for (const SensorValue& sensor : r.Sensors) {
                event.sensor = sensor.Code;
                event.result = ResultOf(sensor.Result);
                event.value = ValueText(sensor);
                tests.events.push_back(event);
            }
        } else if (r.Kind == RecordKind::Soundness) {
            // The report tells of a soundness test only when it passed.
            if (r.SoundnessPassed) {
                event.kind = EventKind::Soundness;
                event.result = EventResult::Pass;
                tests.events.push_back(event);
            }
            if (r.Filter != FilterCheck::NotReported) {
                event.kind = EventKind::Filter;
                event.result =
                    r.Filter == FilterCheck::Passed ? EventResult::Pass : EventResult::Fail;
                tests.events.push_back(event);
            }
        }
    }
    tests.sensors = order.Gases();
    return tests;
}

std::string PackTests(const SessionTests& tests) {
    std::string text;
    for (const ServiceEvent& e : tests.events) {
        if (e.kind == EventKind::Zero) {
            continue;
        }
        char letter = 'B';
        for (const KindName& k : kKinds) {
            letter = k.kind == e.kind ? k.letter : letter;
        }
        char result = 'N';
        for (const ResultName& r : kResults) {
            result = r.result == e.result ? r.letter : result;
        }
        // The instrument's own checks name no sensor: "K,123456F;".
        char sensor[16] = "";
        if (e.sensor != kNoSensor) {
            std::snprintf(sensor, sizeof sensor, "%d", e.sensor);
        }
        char entry[48];
        std::snprintf(entry, sizeof entry, "%c%s,%lu%c;", letter, sensor,
                      static_cast<unsigned long>(e.stamp), result);
        text += entry;
    }
    for (int sensor : tests.sensors) {
        text += "G" + std::to_string(sensor) + ";";
    }
    return text;
}

PackedTests UnpackTests(const std::string& text) {
    PackedTests packed;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find(';', at);
        const std::string entry = text.substr(at, end == std::string::npos ? end : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        if (entry.size() < 2) {
            continue;
        }
        size_t pos = 1;
        uint64_t sensor = 0;
        if (entry[0] == 'G') {
            if (ReadNumber(entry, pos, 255, sensor) && pos == entry.size()) {
                packed.sensors.push_back(static_cast<int>(sensor));
            }
            continue;
        }
        TestOutcome outcome;
        bool kindKnown = false;
        for (const KindName& k : kKinds) {
            if (k.letter == entry[0] && k.kind != EventKind::Zero) {
                outcome.kind = k.kind;
                kindKnown = true;
            }
        }
        const bool check =
            outcome.kind == EventKind::Soundness || outcome.kind == EventKind::Filter;
        if (!kindKnown || (check ? entry[pos] != ',' : !ReadNumber(entry, pos, 255, sensor))) {
            continue;
        }
        uint64_t stamp = 0;
        if (pos >= entry.size() || entry[pos] != ',' ||
            !ReadNumber(entry, ++pos, 0xFFFFFFFFu, stamp) || pos + 1 != entry.size()) {
            continue;
        }
        bool resultKnown = false;
        for (const ResultName& r : kResults) {
            if (r.letter == entry[pos]) {
                outcome.result = r.result;
                resultKnown = true;
            }
        }
        if (!resultKnown) {
            continue;
        }
        outcome.sensor = check ? kNoSensor : static_cast<int>(sensor);
        outcome.stamp = static_cast<uint32_t>(stamp);
        packed.outcomes.push_back(outcome);
    }
    return packed;
}

} // namespace compliance
