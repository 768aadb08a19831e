#include "archive/SessionSummary.h"

#include "ListingLine.h"

#include <map>
#include <utility>

#include "orvtime/OrvTime.h"
#include "orvtime/TimeFormat.h"
#include "report/FigureText.h"
#include "report/Report.h"
#include "report/SensorNames.h"
#include "report/SessionValues.h"
#include "textcodec/Cp1252.h"

namespace archive {
namespace {

// Instrument texts are in its code page (Windows-1252).
QString Unicode(const std::string& bytes) {
    return FromCp1252(bytes);
}

void AddOnce(QStringList& list, const QString& text) {
    if (!text.isEmpty() && !list.contains(text)) {
        list << text;
    }
}

QString GasName(uint8_t code) {
    return QString::fromStdString(SensorGasName(code));
}

// "LEL 20.0 % LEL": the figure as precise as the record holds it, as the exports state it.
QString Peak(const GasReading& reading) {
    return GasName(reading.Code) + " " +
           QString::fromStdString(WithUnit(ReadingFigure(reading), GasUnit(reading.Code)));
}

void AddResults(QStringList& list, const RecordValue& record) {
    for (const SensorValue& sensor : record.Sensors) {
        if (sensor.Result == TestResult::Pass || sensor.Result == TestResult::Fail) {
            list << GasName(sensor.Code) + " " + TestResultWord(sensor.Result);
        }
    }
}

} // namespace

SessionSummary SummariseSession(SessionByteSource& source, int16_t slot, uint32_t stamp,
                                bool dated) {
    SessionSummary summary;
    if (dated) {
        const int64_t time = COrvTime(stamp).Value();
        summary.day = QString::fromStdString(FormatTime(time, "%Y-%m-%d"));
        summary.startTime = QString::fromStdString(FormatTime(time, "%H:%M:%S"));
    }
    // Mode names only name the modes in the summary; the code is searchable just as well.
    const std::string noNames[4];
    SessionRecordReader reader(source, slot, noNames);
    RecordValue r;
    QStringList modes;
    // Highest raw reading of each gas, in the order the gases first appear.
    std::vector<std::pair<uint8_t, GasReading>> peaks;
    int64_t last = 0;
    while (reader.Next(r)) {
        if (r.Stamped && r.Time != 0) {
            last = r.Time;
        }
        // The modes the report names: where the instrument switched on and where it changed.
        if (r.Kind == RecordKind::SwitchOn || r.Kind == RecordKind::ModeChange) {
            AddOnce(modes, KeptMode(Unicode(r.Mode), r.Kind == RecordKind::SwitchOn ? 1 : 0));
        }
        switch (r.Kind) {
        case RecordKind::JobNumber:
            AddOnce(summary.jobs, Unicode(r.Text).trimmed());
            break;
        case RecordKind::UserName:
            AddOnce(summary.users, Unicode(r.Text).trimmed());
            break;
        case RecordKind::Alarm:
            ++summary.alarmCount;
            if (r.AlarmGas != RecordValue::kNoGas) {
                AddOnce(summary.alarmGases, GasName(r.AlarmGas));
            }
            break;
        case RecordKind::Calibration:
        case RecordKind::FieldCalibration:
            AddResults(summary.calibrations, r);
            break;
        case RecordKind::BumpTest:
            AddResults(summary.bumps, r);
            break;
        default:
            break;
        }
        const bool reading = r.Kind == RecordKind::Alarm || r.Kind == RecordKind::Manual ||
                             r.Kind == RecordKind::Timed || r.Kind == RecordKind::Survey;
        for (const GasReading& g : reading ? r.Readings : std::vector<GasReading>()) {
            auto at = peaks.begin();
            while (at != peaks.end() && at->first != g.Code) {
                ++at;
            }
            if (at == peaks.end()) {
                peaks.push_back({g.Code, g});
            } else if (g.Raw > at->second.Raw) {
                at->second = g;
            }
        }
        summary.gps = summary.gps || (r.HasGps && r.Gps.Located());
        summary.closed = r.Kind == RecordKind::SwitchOff;
    }
    for (const auto& peak : peaks) {
        summary.peaks << Peak(peak.second);
    }
    summary.mode = modes.join(", ");
    summary.endValue = last;
    if (last != 0) {
        summary.endTime = QString::fromStdString(FormatTime(last, "%H:%M:%S"));
    }
    return summary;
}

} // namespace archive
