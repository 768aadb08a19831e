#include "report/SessionValues.h"
#include "report/FigureText.h"

#include "GasTables.h"
#include "RecordStream.h"
#include "SessionLog.h"

namespace {

// Names as the report's column headings give them, units from the sensor ranges.
struct GasText {
    const char* Name;
    ReadingUnit Unit;
};
constexpr ReadingUnit kLel = ReadingUnit::PercentLel;
constexpr ReadingUnit kGas = ReadingUnit::PercentGas;
constexpr ReadingUnit kPercent = ReadingUnit::Percent;
constexpr ReadingUnit kPpm = ReadingUnit::Ppm;
constexpr ReadingUnit kMgM3 = ReadingUnit::MilligramsPerCubicMetre;
const GasText kGasTexts[kGasCodes] = {
    {"LEL", kLel},         {"GAS", kGas},
    {"PPM", kPpm},         {"O2", kPercent},
    {"CO", kPpm},          {"H2S", kPpm},
    {"PPM", kPpm},         {"GAS", kGas},
    {"CO", kMgM3},         {"H2S", kMgM3},
    {"Methane", kPercent}, {"General HC", kPercent},
    {"PPM", kPpm},         {"Gas 13", ReadingUnit::None},
    {"LH2", kLel},         {"VH2", kGas},
};

struct GasInfoTable {
    GasInfo rows[kGasCodes + 1];
    GasInfoTable() {
        for (int code = 0; code < kGasCodes; ++code) {
            rows[code] = GasInfo{kGasTexts[code].Name, UnitText(kGasTexts[code].Unit),
                                 GasCodeTable[code].Scale, SensorRangeTable[code]};
        }
        rows[kGasCodes] = GasInfo{"", "", 1, ""};
    }
};

bool InRange(int16_t degMin, int16_t fraction, int maxDegrees) {
    return degMin >= 0 && degMin % 100 < 60 && fraction >= 0 && fraction <= 9999 &&
           degMin / 100 + (degMin % 100 + fraction / 10000.0) / 60.0 <= maxDegrees;
}

double Degrees(int16_t degMin, int16_t fraction) {
    return degMin / 100 + (degMin % 100 + fraction / 10000.0) / 60.0;
}

} // namespace

const std::string& ModeName(const ModeNameList& names, unsigned number, const std::string& told) {
    return number >= 1 && number <= 4 && !names[number - 1].empty() ? names[number - 1] : told;
}

const char* RecordKindWord(RecordKind kind) {
    switch (kind) {
    case RecordKind::SwitchOn:
        return "switch on";
    case RecordKind::SwitchOff:
        return "switch off";
    case RecordKind::ModeChange:
        return "mode change";
    case RecordKind::InstrumentOpened:
        return "instrument opened";
    case RecordKind::JobNumber:
        return "job number";
    case RecordKind::UserName:
        return "user";
    case RecordKind::ManualZero:
        return "manual zero";
    case RecordKind::Pump:
        return "pump";
    case RecordKind::Text:
        return "text";
    case RecordKind::Survey:
        return "survey";
    case RecordKind::Alarm:
        return "alarm";
    case RecordKind::Manual:
        return "manual";
    case RecordKind::Timed:
        return "timed";
    case RecordKind::Soundness:
        return "soundness";
    case RecordKind::Calibration:
        return "calibration";
    case RecordKind::Zero:
        return "zero";
    case RecordKind::BumpTest:
        return "bump test";
    case RecordKind::FieldCalibration:
        return "field calibration";
    case RecordKind::Barhole:
        return "barhole";
    case RecordKind::GpsAverage:
        return "gps average";
    case RecordKind::PipelineTest:
        return "pipeline test";
    case RecordKind::Unrecognised:
        break;
    }
    return "unrecognised";
}

const GasInfo& GasInfoOf(unsigned code) {
    static const GasInfoTable table;
    return table.rows[code < static_cast<unsigned>(kGasCodes) ? code : kGasCodes];
}

ReadingUnit GasUnit(unsigned code) {
    return code < static_cast<unsigned>(kGasCodes) ? kGasTexts[code].Unit : ReadingUnit::None;
}

double GasReading::Value() const {
    return static_cast<double>(Raw) / GasInfoOf(Code).Scale;
}

bool GasReading::OverRange() const {
    return OverRangeMark(Raw, GasInfoOf(Code).Scale);
}

bool OverRangeMark(int32_t raw, int32_t scale) {
    return scale == 1 && raw == 10000;
}

bool GpsValue::Located() const {
    return Fix && InRange(LatDegMin, LatFraction, 90) && InRange(LonDegMin, LonFraction, 180);
}

double GpsValue::Latitude() const {
    const double degrees = Degrees(LatDegMin, LatFraction);
    return North ? degrees : -degrees;
}

double GpsValue::Longitude() const {
    const double degrees = Degrees(LonDegMin, LonFraction);
    return East ? degrees : -degrees;
}

const char* TestResultWord(TestResult result) {
    switch (result) {
    case TestResult::Pass:
        return "PASS";
    case TestResult::Fail:
        return "FAIL";
    case TestResult::NotTested:
        return "Not Tested";
    case TestResult::None:
        break;
    }
    return "";
}

void RecordValue::Clear() {
    Kind = RecordKind::Unrecognised;
    Letter = 0;
    Version = 0;
    Offset = 0;
    Stamped = false;
    Stamp = 0;
    Time = 0;
    ModeNumber = 0;
    ModeCode.clear();
    Readings.clear();
    ExtraCount = 0;
    AlarmGas = kNoGas;
    GasType = 0;
    Place.clear();
    HasGps = false;
    Gps = GpsValue();
    Text.clear();
    HasText = false;
    Sensors.clear();
    SoundnessPassed = false;
    Filter = FilterCheck::NotReported;
    Barhole = BarholeValue();
    PumpState = 0;
    PipelineResult = 0;
    PipelineReading = 0;
    for (uint8_t& b : GpsAverage) {
        b = 0;
    }
    for (int16_t& e : Extra) {
        e = 0;
    }
}

bool FilterShows(const LogFilter& filter, const RecordValue& value) {
    const bool unknownVersion = value.Kind == RecordKind::Unrecognised;
    switch (KindFor(value.Letter)) {
    case RecordKind::Alarm:
        return unknownVersion || filter.Alarm;
    case RecordKind::Manual:
        return unknownVersion || filter.Manual;
    case RecordKind::Timed:
        return unknownVersion || filter.Timed;
    case RecordKind::Calibration:
    case RecordKind::Zero:
    case RecordKind::FieldCalibration:
        return filter.Calibration;
    case RecordKind::BumpTest:
        return filter.Bump;
    default:
        return true;
    }
}

struct SessionRecordReader::Walk {
    SessionLog Log;
    RecordStream Stream;
    Walk(const ModeNameList& modeNames) : Stream(Log, modeNames) {}
};

SessionRecordReader::SessionRecordReader(SessionByteSource& source, int16_t slot,
                                         const ModeNameList& modeNames)
    : m_walk(std::make_unique<Walk>(modeNames)) {
    m_walk->Log.Fill(source, slot);
}

SessionRecordReader::~SessionRecordReader() = default;

bool SessionRecordReader::Next(RecordValue& value) {
    return m_walk->Stream.Next(value);
}

SessionValues DecodeSessionValues(SessionByteSource& source, int16_t slot,
                                  const ModeNameList& modeNames) {
    SessionValues session;
    session.Slot = slot;
    SessionRecordReader reader(source, slot, modeNames);
    // Each record is read straight into its place in the list.
    session.Records.reserve(64);
    for (;;) {
        session.Records.emplace_back();
        RecordValue& value = session.Records.back();
        if (!reader.Next(value)) {
            session.Records.pop_back();
            break;
        }
        session.HasUnrecognised = session.HasUnrecognised || value.Kind == RecordKind::Unrecognised;
    }
    return session;
}

const char* GasTypeName(uint8_t gasType) {
    return gasType == '1' ? "Methane" : gasType == '2' ? "Nat Gas" : nullptr;
}
