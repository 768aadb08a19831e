#pragma once

// The tests an instrument's sessions record (bump tests, calibrations, zeros, field calibrations,
// soundness and filter checks), one event per sensor tested, taken from the report's typed record
// values so that the register and the report never disagree about what a session holds.

#include <cstdint>
#include <string>
#include <vector>

class SessionByteSource;

namespace compliance {

// Raised whenever what DeriveSessionTests takes from the records changes: the events stored from
// an older version are made again from the archived bytes.
// 2: the instrument's checks are packed too; 3: a session's sensors in the order its records list
// them (SensorOrder), and no value for a sensor not tested.
constexpr int kEventsVersion = 3;

enum class EventKind : uint8_t { Bump, Calibration, Zero, FieldCalibration, Soundness, Filter };
enum class EventResult : uint8_t {
    Pass,
    Fail,
    NotTested,
    None, // the record's version carries no result
};

// "bump", "calibration", "zero", "field-calibration", "soundness", "filter"
const char* EventKindWord(EventKind kind);
// "pass", "fail", "not tested", "none": the word the archive keeps and --result names.
const char* EventResultWord(EventResult result);
// "PASS", "FAIL", "Not Tested", empty for none: the result as every view shows it, in the
// report's words (TestResultWord), the instrument's checks' as well.
const char* EventResultText(EventResult result);
bool ParseEventKind(const std::string& word, EventKind& kind);
bool ParseEventResult(const std::string& word, EventResult& result);

// No sensor: soundness and filter checks test the instrument as a whole.
constexpr int kNoSensor = -1;

struct ServiceEvent {
    EventKind kind = EventKind::Bump;
    int sensor = kNoSensor; // the gas code the record names (SensorOrder numbers the sensor)
    uint32_t stamp = 0;     // instrument clock: seconds since 2000-01-01 of its wall clock
    EventResult result = EventResult::None;
    // TestedSensorFigures: "50.0", "20.9 / 20.8"; empty when none (a sensor not tested).
    std::string value;
    std::string user; // the session's user and job number at the record (code page bytes)
    std::string job;
};

// What one session tells the register: its events in record order and the sensors its test
// records name (each gas once, in the order the records list them: SensorOrder), tested or not: a
// sensor that a zero or a "not tested" entry names is one the instrument has.
struct SessionTests {
    std::vector<ServiceEvent> events;
    std::vector<int> sensors;
};

SessionTests DeriveSessionTests(SessionByteSource& source, int16_t slot);

// The name of a sensor's gas ("CO"); a code beyond the gas table is "gas N" (SensorGasName of
// report/SensorNames.h).
std::string SensorGasName(int sensor);
// The unit of an event's value ("ppm"): the sensor gas's, where the record states the value's
// scale; none for the two numbers of a test whose record carries no result, which never says
// their scale (the report prints them as they are), and none for the instrument's checks.
std::string EventValueUnit(int sensor, EventResult result);
// The event's value with that unit: "50.0 / 49.8 % LEL", "500 / 498".
std::string EventValueText(const std::string& value, int sensor, EventResult result);
// The range the report labels the sensor with ("0..1000 PPM CO"); empty beyond the table.
std::string SensorRange(int sensor);

// The outcomes that decide an instrument's status, packed into one short text per session so that
// the whole register is read from one column of the sessions: bump tests, calibrations, field
// calibrations, soundness tests and filter checks, and the sensors named. Decoding a malformed text
// keeps what parses.
struct TestOutcome {
    EventKind kind = EventKind::Bump;
    int sensor = 0; // kNoSensor for the instrument's checks
    uint32_t stamp = 0;
    EventResult result = EventResult::None;
};
struct PackedTests {
    std::vector<TestOutcome> outcomes;
    std::vector<int> sensors;
};
std::string PackTests(const SessionTests& tests);
PackedTests UnpackTests(const std::string& text);

} // namespace compliance
