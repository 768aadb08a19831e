#include "RecordFields.h"

#include "orvtime/TimeFormat.h"
#include "report/FigureText.h"
#include "report/SensorNames.h"
#include "textcodec/Cp1252.h"

#include <QDateTime>

#include <algorithm>
#include <array>

namespace {

QString Number(int32_t value, int32_t divisor) {
    return QString::fromStdString(ScaledFigure(value, divisor));
}

// A tested sensor's gas, with the unit of its values where the record states their scale; named
// as every view names it (SensorGasName), never by its code as if that were its number.
QString SensorName(const SensorValue& sensor) {
    return SensorValueUnit(sensor.Code, sensor.Result) == ReadingUnit::None
               ? QString::fromStdString(SensorGasName(sensor.Code))
               : GasHeading(sensor.Code);
}

QString SoundnessText(const RecordValue& record) {
    QStringList parts;
    if (record.SoundnessPassed) {
        parts << QStringLiteral("soundness test passed");
    }
    if (record.Filter == FilterCheck::Passed) {
        parts << QStringLiteral("filter check passed");
    } else if (record.Filter == FilterCheck::Failed) {
        parts << QStringLiteral("filter check failed");
    }
    return parts.join(QStringLiteral("; "));
}

QString BarholeText(const BarholeValue& barhole) {
    QString text = QStringLiteral("barhole %1: peak %2, sustained %3")
                       .arg(barhole.Number)
                       .arg(QString::fromStdString(BarholePeakFigure(barhole)),
                            QString::fromStdString(BarholeSustainedFigure(barhole)));
    if (barhole.ProfileCount > 0) {
        text += QStringLiteral("; profile");
        for (int32_t i = 0; i < barhole.ProfileCount; ++i) {
            text +=
                QLatin1Char(' ') + QString::number(static_cast<double>(barhole.Profile[i]), 'f', 1);
        }
    }
    return text;
}

QString PipelineText(const RecordValue& record) {
    const uint8_t result = record.PipelineResult;
    QString verdict;
    switch (result) {
    case 'G':
    case 'L':
        verdict = QStringLiteral("pipeline gas");
        break;
    case 'g':
    case 'l':
        verdict = QStringLiteral("not pipeline gas");
        break;
    case 'X':
        verdict = QStringLiteral("no determination");
        break;
    default:
        verdict = QStringLiteral("result %1").arg(result);
        break;
    }
    return QStringLiteral("%1: %2").arg(QString::fromStdString(PipelineFigure(record)), verdict);
}

QString PumpText(uint8_t state) {
    static const char* const kStates[] = {"OFF", "ON", "FAULT", "FAULT/RUNNING", "FAST"};
    if (state >= '0' && state <= '4') {
        return QStringLiteral("pump %1").arg(QLatin1String(kStates[state - '0']));
    }
    return QStringLiteral("pump state %1").arg(state);
}

// In the report's words, so that a detail reads as the report's line does.
QString GasTypeText(uint8_t gasType) {
    const char* name = GasTypeName(gasType);
    return name != nullptr ? QString::fromLatin1(name) : QString();
}

QString UnrecognisedText(const RecordValue& record) {
    auto byteText = [](uint8_t b) {
        return b > 0x20 && b < 0x7F ? QString(QLatin1Char(static_cast<char>(b)))
                                    : QStringLiteral("0x%1").arg(b, 2, 16, QLatin1Char('0'));
    };
    return QStringLiteral("not decoded: type %1 version %2")
        .arg(byteText(record.Letter), byteText(record.Version));
}

QString ReadingsDetail(const RecordValue& record) {
    QStringList parts;
    if (record.AlarmGas != RecordValue::kNoGas) {
        parts << QStringLiteral("%1 alarm").arg(QLatin1String(GasInfoOf(record.AlarmGas).Name));
    }
    if (!record.Place.empty()) {
        parts << FromCp1252(record.Place);
    }
    const QString gasType = GasTypeText(record.GasType);
    if (!gasType.isEmpty()) {
        parts << gasType;
    }
    return parts.join(QStringLiteral("; "));
}

} // namespace

QString InstrumentOf(const QStringList& instruments, size_t index) {
    return index < static_cast<size_t>(instruments.size())
               ? instruments[static_cast<qsizetype>(index)]
               : QString();
}

bool NamesAny(const QStringList& instruments) {
    return std::any_of(instruments.begin(), instruments.end(),
                       [](const QString& name) { return !name.isEmpty(); });
}

bool HasTime(const RecordValue& record) {
    return record.Stamped || record.Time != 0;
}

QString WallClockText(const RecordValue& record) {
    return HasTime(record) ? WallClockText(record.Time) : QString();
}

QString WallClockText(int64_t time) {
    return QString::fromStdString(FormatTime(time, "%Y-%m-%dT%H:%M:%S"));
}

QString UtcText(const RecordValue& record) {
    if (!HasTime(record)) {
        return QString();
    }
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(record.Time, Qt::UTC);
    const QDate date = utc.date();
    const QTime time = utc.time();
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02dZ", date.year(), date.month(),
                             date.day(), time.hour(), time.minute(), time.second());
}

QString GasHeading(unsigned code) {
    // Every reading of a file asks for its heading; building them once keeps exports fast.
    static const std::array<QString, kGasCodes + 1> kHeadings = [] {
        std::array<QString, kGasCodes + 1> headings;
        for (unsigned c = 0; c < headings.size(); ++c) {
            const GasInfo& gas = GasInfoOf(c);
            headings[c] = QLatin1String(gas.Name);
            if (gas.Unit[0] != '\0') {
                headings[c] += QStringLiteral(" (") + QLatin1String(gas.Unit) + QLatin1Char(')');
            }
        }
        return headings;
    }();
    return kHeadings[std::min<unsigned>(code, kGasCodes)];
}

QString ReadingText(const GasReading& reading) {
    return Number(reading.Raw, GasInfoOf(reading.Code).Scale);
}

TestedSensorCells TestedSensorText(const SensorValue& sensor) {
    TestedSensorCells cells;
    cells.Gas = SensorName(sensor);
    cells.Result = QLatin1String(TestResultWord(sensor.Result));
    const SensorFigures figures = TestedSensorFigures(sensor);
    cells.Value = QString::fromStdString(figures.First);
    cells.SecondValue = QString::fromStdString(figures.Second);
    return cells;
}

QString DegreesText(double degrees) {
    return QString::number(degrees, 'f', 7);
}

QString ModeText(const RecordValue& record) {
    return FromCp1252(record.Mode);
}

QString DetailText(const RecordValue& record) {
    switch (record.Kind) {
    case RecordKind::SwitchOn:
        return record.HasText ? QStringLiteral("by ") + FromCp1252(record.Text) : QString();
    case RecordKind::JobNumber:
    case RecordKind::UserName:
    case RecordKind::Text:
        return FromCp1252(record.Text);
    case RecordKind::Pump:
        return PumpText(record.PumpState);
    case RecordKind::Alarm:
    case RecordKind::Manual:
    case RecordKind::Timed:
        return ReadingsDetail(record);
    case RecordKind::Soundness:
        return SoundnessText(record);
    case RecordKind::Barhole:
        return BarholeText(record.Barhole);
    case RecordKind::GpsAverage: {
        QStringList pairs;
        for (int i = 0; i < RecordValue::kGpsAverageBytes; i += 2) {
            pairs
                << QStringLiteral("%1 %2").arg(record.GpsAverage[i]).arg(record.GpsAverage[i + 1]);
        }
        return pairs.join(QStringLiteral("; "));
    }
    case RecordKind::PipelineTest:
        return PipelineText(record);
    case RecordKind::Unrecognised:
        return UnrecognisedText(record);
    default:
        return QString();
    }
}
