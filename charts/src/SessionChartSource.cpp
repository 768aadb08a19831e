#include "charts/SessionChartSource.h"

#include "report/FigureText.h"
#include "report/SensorNames.h"

namespace charts {

namespace {

// Seconds from 1970-01-01 to 2000-01-01, where the instrument's clock starts.
constexpr int64_t kInstrumentEpoch = 946684800;

std::vector<GasReading> ReadingsOf(const RecordValue& record) {
    std::vector<GasReading> readings;
    readings.reserve(record.Readings.size());
    for (const ::GasReading& reading : record.Readings) {
        const GasInfo& info = GasInfoOf(reading.Code);
        // A gas the table does not name cannot be told from another; an over-range mark has no
        // value to draw.
        if (info.Name[0] == '\0' || reading.OverRange()) {
            continue;
        }
        readings.push_back(GasReading{info.Name, info.Unit, reading.Value(), info.Scale});
    }
    return readings;
}

std::vector<SensorResult> ResultsOf(const RecordValue& record) {
    std::vector<SensorResult> results;
    for (const SensorValue& sensor : record.Sensors) {
        SensorResult result;
        result.gas = SensorGasName(sensor.Code);
        switch (sensor.Result) {
        case TestResult::Pass:
            result.verdict = SensorVerdict::Pass;
            break;
        case TestResult::Fail:
            result.verdict = SensorVerdict::Fail;
            break;
        case TestResult::None:
        case TestResult::NotTested:
            result.verdict = SensorVerdict::NotTested;
            break;
        }
        results.push_back(result);
    }
    return results;
}

} // namespace

int64_t ChartTime(uint32_t stamp) {
    return kInstrumentEpoch + static_cast<int64_t>(stamp);
}

void AddRecord(ChartBuilder& builder, const RecordValue& record, const LogFilter& filter) {
    if (!record.Stamped) {
        return;
    }
    const int64_t time = ChartTime(record.Stamp);
    if (!FilterShows(filter, record)) {
        builder.Seen(time);
        return;
    }
    switch (record.Kind) {
    case RecordKind::SwitchOn:
        builder.SwitchOn(time);
        break;
    case RecordKind::SwitchOff:
        builder.SwitchOff(time);
        break;
    case RecordKind::ModeChange:
        builder.ModeChange(time, record.Mode);
        break;
    case RecordKind::Survey:
        builder.Readings(time, ReadingsOf(record));
        break;
    case RecordKind::Manual:
        builder.Readings(time, ReadingsOf(record));
        break;
    case RecordKind::Timed:
        builder.Readings(time, ReadingsOf(record));
        break;
    case RecordKind::Alarm:
        builder.Alarm(time,
                      record.AlarmGas == RecordValue::kNoGas ? std::string()
                                                             : GasInfoOf(record.AlarmGas).Name,
                      ReadingsOf(record));
        break;
    case RecordKind::Calibration:
        builder.Test(MarkKind::Calibration, time, ResultsOf(record));
        break;
    case RecordKind::Zero:
        builder.Test(MarkKind::Zero, time, ResultsOf(record));
        break;
    case RecordKind::FieldCalibration:
        builder.Test(MarkKind::FieldCalibration, time, ResultsOf(record));
        break;
    case RecordKind::BumpTest:
        builder.Test(MarkKind::BumpTest, time, ResultsOf(record));
        break;
    case RecordKind::ManualZero:
        // The report prints it whatever the filter: a zeroing the user made, with no verdict.
        builder.Test(MarkKind::ManualZero, time, {});
        break;
    case RecordKind::Barhole: {
        const BarholeValue& barhole = record.Barhole;
        std::vector<double> profile(barhole.Profile, barhole.Profile + barhole.ProfileCount);
        builder.Barhole(time, barhole.Number, UnitText(PercentUnit(barhole.PeakGas)),
                        barhole.Peak / 10.0, BarholePeakFigure(barhole), std::move(profile));
        break;
    }
    default:
        builder.Seen(time);
        break;
    }
}

SessionChart ChartOfSessions(SessionByteSource& source, const std::vector<int16_t>& slots,
                             const ModeNameList& modeNames, const LogFilter& filter) {
    ChartBuilder builder;
    RecordValue record;
    for (const int16_t slot : slots) {
        builder.StartSession();
        SessionRecordReader reader(source, slot, modeNames);
        while (reader.Next(record)) {
            AddRecord(builder, record, filter);
        }
    }
    return builder.Take();
}

SessionChart ChartOfValues(const std::vector<SessionValues>& sessions, const LogFilter& filter) {
    ChartBuilder builder;
    for (const SessionValues& session : sessions) {
        builder.StartSession();
        for (const RecordValue& record : session.Records) {
            AddRecord(builder, record, filter);
        }
    }
    return builder.Take();
}

} // namespace charts
