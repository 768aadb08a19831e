#pragma once

// The records of one session as typed values: what the report shows, without its layout.
//
// A session slot decodes into a list of RecordValue in stream order, with the same bounds as the
// report: the walk stops where the report's walk stops, a record of a kind or version this
// program cannot read is kept as an entry of kind Unrecognised (with its type letter and version
// byte) and the walk goes on at the next record start, exactly as the report does. The report
// itself is formatted from these values, so the two never disagree.
//
//     std::string modes[4] = {"GAS", "PPM", "", ""};   // from the configuration block
//     SessionValues session = DecodeSessionValues(source, slot, modes);
//     for (const RecordValue& r : session.Records) {
//         if (r.Kind == RecordKind::Alarm) { ... r.Time, r.AlarmGas, r.Readings, r.Gps ... }
//     }
//
// Or, without building the list (one value reused for every record):
//
//     SessionRecordReader reader(source, slot, modes);
//     RecordValue r;
//     while (reader.Next(r)) { ... }
//
// Instrument texts (job numbers, user names, initials, mode codes, free text) are the
// instrument's bytes as they are, in its code page (Windows-1252); they end at the first NUL and
// never hold one.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class SessionByteSource;

enum class RecordKind : uint8_t {
    SwitchOn,         // 'O'
    SwitchOff,        // 'Y'
    ModeChange,       // 'D'
    InstrumentOpened, // 'I'
    JobNumber,        // 'J'
    UserName,         // 'U'
    ManualZero,       // 'z'
    Pump,             // 'p'
    Text,             // 'T'
    Survey,           // 'W'
    Alarm,            // 'A'
    Manual,           // 'M'
    Timed,            // 'L'
    Soundness,        // 'S'
    Calibration,      // 'C'
    Zero,             // 'Z'
    BumpTest,         // 'B'
    FieldCalibration, // 'F'
    Barhole,          // 'H'
    GpsAverage,       // 'G'
    PipelineTest,     // 'P'
    Unrecognised,     // a type letter or version this program cannot read
};

// The kind as one lower-case word or short phrase: "switch on", "survey", "alarm", "manual",
// "timed", "calibration", "bump test", "barhole", "unrecognised", ...
const char* RecordKindWord(RecordKind kind);

// What the instrument's gas codes 0 to 15 mean. Name is the gas as the report's column heading
// names it, without its padding ("LEL", "CO", ...); Unit is the unit of the scaled value as
// UnitText spells it (report/FigureText.h), empty where none is known; Scale is the divisor from
// the stored number to that unit (1, 10 or 100); Range is the sensor's range as the report labels a
// sensor of that code ("0..1000 PPM CO"), empty where it has none.
struct GasInfo {
    const char* Name;
    const char* Unit;
    int32_t Scale;
    const char* Range;
};
constexpr int kGasCodes = 16;
// code: 0 to 15; any other code gives an entry with an empty name and unit and scale 1.
const GasInfo& GasInfoOf(unsigned code);

// One gas reading of a reading list, or the survey's reading (gas code 2, parts per million).
struct GasReading {
    uint8_t Code = 0; // gas code 0 to 15 (the low seven bits of the stored code byte)
    int16_t Raw = 0;  // the stored number

    // Raw divided by the code's scale, in the code's unit.
    double Value() const;
    // The reading is the instrument's over-range mark (OverRangeMark below).
    bool OverRange() const;
};

// Whether a stored number is the instrument's over-range mark rather than a reading: 10000 in a
// whole-unit reading (scale 1), which the report prints as EEEE. The report's formatting asks this
// too, so what it shows as EEEE and what the values call over range never differ.
bool OverRangeMark(int32_t raw, int32_t scale);

// The name the report prints for a reading's gas type character ('1' "Methane", '2' "Nat Gas");
// null for any other.
const char* GasTypeName(uint8_t gasType);

// A nine-byte GPS block as the instrument wrote it.
struct GpsValue {
    bool Fix = false;   // the instrument's fix flag
    bool North = false; // hemispheres: north (else south), east (else west)
    bool East = false;
    uint8_t Quality = 0;     // 0 to 3
    int16_t LatDegMin = 0;   // DDMM
    int16_t LatFraction = 0; // ten-thousandths of a minute
    int16_t LonDegMin = 0;   // DDDMM
    int16_t LonFraction = 0; // ten-thousandths of a minute

    // A fix whose numbers make a position on the earth: fix flag set, degrees and minutes in
    // range. Only such a fix has a place on a map; a block without one is never position 0,0.
    bool Located() const;
    // WGS 84 decimal degrees, south and west negative; meaningful only when Located().
    double Latitude() const;
    double Longitude() const;
};

// Outcome of one sensor in a calibration, zero or bump test.
enum class TestResult : uint8_t {
    None,      // the record version carries no result (calibration '1', field calibration), nor
               // the scale of its values
    Pass,      // result flags 1
    Fail,      // any other flags
    NotTested, // flags 3 (the report leaves such a sensor out, or writes "Not Tested")
};
const char* TestResultWord(TestResult result); // "", "PASS", "FAIL", "Not Tested"

struct SensorValue {
    uint8_t Code = 0; // sensor (gas) code; may lie beyond the gas table
    uint8_t Flags = 0;
    TestResult Result = TestResult::None;
    int32_t First = 0;  // calibration and zero: first value; bump test: the value
    int32_t Second = 0; // calibration and zero: second value; bump test: 0
    bool HasSecond = false;
    // First and Second divided by this give the value in the sensor's unit: 10 for sensors whose
    // gas is stored in fractions (the report shows them with one decimal), else 1.
    int32_t Divisor = 1;
};

enum class FilterCheck : uint8_t { NotReported, Passed, Failed };

struct BarholeValue {
    static constexpr int kProfileSize = 15;
    uint8_t Number = 0;
    int32_t Peak = 0;      // tenths of a percent, negative taken as 0
    bool PeakGas = false;  // percent gas, else percent LEL
    int32_t Sustained = 0; // tenths of a percent; a stored value with bit 15 set taken as 0
    bool SustainedGas = false;
    int32_t ProfileCount = 0; // 15 in versions '3' and '4', else 0
    float Profile[kProfileSize] = {};
};

struct RecordValue {
    static constexpr int kExtraCount = 5;
    static constexpr int kGpsAverageBytes = 20;
    static constexpr uint8_t kNoGas = 0xFF;

    RecordKind Kind = RecordKind::Unrecognised;
    uint8_t Letter = 0;  // type letter
    uint8_t Version = 0; // version byte (0 for free text, which has none)
    int32_t Offset = 0;  // offset of the record's '<' in the session's log stream

    // Stamped: the record carries its own time stamp (user-name, free-text and records of an
    // unknown type letter do not; they keep the time of the record before them, 0 at the start).
    bool Stamped = false;
    uint32_t Stamp = 0; // instrument clock: seconds since 2000-01-01 00:00:00 of its wall clock
    // Calendar time (seconds since 1970 UTC) whose local time on this computer shows the
    // instrument's wall-clock time; what the report formats.
    int64_t Time = 0;

    // The operating mode in effect after this record: set by switch-on (the instrument's first mode
    // name, or the record's mode code) and mode changes; empty before either.
    std::string Mode;
    uint8_t ModeNumber = 0; // mode change '2': the new mode, counted from 1
    std::string ModeCode;   // switch-on and mode change '1': the three-character mode code

    // Alarm, manual, timed: the reading list (at most 10 entries, in order); survey: its reading.
    std::vector<GasReading> Readings;
    // Timed '4': five more whole-unit readings after the list (scale 1 for OverRangeMark).
    int16_t Extra[kExtraCount] = {};
    int32_t ExtraCount = 0;
    uint8_t AlarmGas = kNoGas; // alarm: the gas that raised it, when it is a gas code
    uint8_t GasType = 0;       // manual '3'/'4', timed '3'/'4': '1' methane, '2' natural gas
    std::string Place;         // manual '2': the place as the report names it

    bool HasGps = false; // a GPS block stands in the record (it may hold no fix)
    GpsValue Gps;

    // Job number, user name, free text, or the switch-on's initials; HasText when the record has
    // the field at all (a switch-on has room for initials only in its longer form).
    std::string Text;
    bool HasText = false;

    std::vector<SensorValue> Sensors; // calibration, zero, bump test, field calibration
    bool SoundnessPassed = false;
    FilterCheck Filter = FilterCheck::NotReported;
    BarholeValue Barhole;
    uint8_t GpsAverage[kGpsAverageBytes] = {}; // GPS average '1': ten pairs of bytes
    uint8_t PumpState = 0;                     // pump: '0' off ... '4' fast
    uint8_t PipelineResult = 0;                // pipeline test: 'G', 'L', 'g', 'l', 'X'
    int32_t PipelineReading = 0;               // tenths of a percent, negative taken as 0

    // Back to a fresh value, keeping the storage of its texts and lists (and the mode, which the
    // walk sets for every record).
    void Clear();
};

struct SessionValues {
    int16_t Slot = 0;
    std::vector<RecordValue> Records;
    // Some record could not be decoded (the report then warns).
    bool HasUnrecognised = false;
};

// The log filter's choices: which kinds of record a report (or an export) leaves out.
struct LogFilter {
    bool Alarm = true;       // alarm readings
    bool Manual = true;      // manual readings
    bool Timed = true;       // timed readings
    bool Calibration = true; // calibration, zero and field-calibration records
    bool Bump = true;        // bump tests
};
// Whether a record passes the filter as the report applies it: a record of an unknown version
// counts as its type letter's kind, except that alarm, manual and timed records of an unknown
// version always pass; records of an unknown type letter always pass.
bool FilterShows(const LogFilter& filter, const RecordValue& value);

// The names of the instrument's four operating modes, from its configuration block (empty where
// unknown).
using ModeNameList = std::string[4];

// What a report calls the mode a record puts the instrument in: the instrument's own name for mode
// `number` (counted from 1; 0 for a record that gives a mode code alone) where it has one, else
// `told`, the record's own word for it (its mode code, or "mode" and the number). A switch-on
// puts the instrument in its first mode.
const std::string& ModeName(const ModeNameList& names, unsigned number, const std::string& told);

// Walks the records of one session slot, one value at a time. The mode names are read as the walk
// goes: they must outlive the reader.
class SessionRecordReader {
public:
    SessionRecordReader(SessionByteSource& source, int16_t slot, const ModeNameList& modeNames);
    ~SessionRecordReader();
    SessionRecordReader(const SessionRecordReader&) = delete;
    SessionRecordReader& operator=(const SessionRecordReader&) = delete;

    // Fills value with the next record and returns true, or returns false at the end of the
    // session's stream.
    bool Next(RecordValue& value);

private:
    struct Walk;
    std::unique_ptr<Walk> m_walk;
};

// Every record of the slot's session.
SessionValues DecodeSessionValues(SessionByteSource& source, int16_t slot,
                                  const ModeNameList& modeNames);
