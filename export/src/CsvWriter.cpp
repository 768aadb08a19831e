#include "CsvCells.h"
#include "RecordFields.h"
#include "SensorColumns.h"
#include "Writers.h"

#include <QString>
#include <QStringList>

#include <algorithm>

namespace {

// The columns a record's values may take: one per gas reading, one per extra reading, one naming
// what is over range, four per tested sensor.
struct ValueColumns {
    SensorColumns Readings;
    int Extras = 0;
    bool OverRange = false;
    size_t TestedSensors = 0;
    // Every number column by name: the gas readings, then the extra readings.
    QStringList Numbers;
};

ValueColumns ColumnsOf(const std::vector<SessionValues>& sessions, const LogFilter& filter) {
    ValueColumns columns;
    for (const SessionValues& session : sessions) {
        for (const RecordValue& record : session.Records) {
            if (FilterShows(filter, record)) {
                const std::vector<NamedReading> readings = NamedReadings(record);
                columns.Readings.Add(readings);
                columns.Extras = std::max(columns.Extras, record.ExtraCount);
                columns.OverRange = columns.OverRange || !OverRangeText(readings).isEmpty();
                columns.TestedSensors = std::max(columns.TestedSensors, record.Sensors.size());
            }
        }
    }
    columns.Numbers = columns.Readings.Names();
    for (int i = 0; i < columns.Extras; ++i) {
        columns.Numbers << ExtraReadingName(i);
    }
    return columns;
}

} // namespace

QByteArray WriteCsv(const std::vector<SessionValues>& sessions, const LogFilter& filter,
                    const QStringList& instruments) {
    const ValueColumns columns = ColumnsOf(sessions, filter);
    // A dump names no instrument: its file has no column for one.
    const bool named = NamesAny(instruments);

    QString text;
    QStringList header = {QStringLiteral("time"), QStringLiteral("slot")};
    if (named) {
        header << QStringLiteral("instrument");
    }
    header << QStringLiteral("kind") << QStringLiteral("mode");
    for (const QString& name : columns.Numbers) {
        header << CsvField(name);
    }
    if (columns.OverRange) {
        header << QStringLiteral("over range");
    }
    for (size_t i = 1; i <= columns.TestedSensors; ++i) {
        const QString sensor = QStringLiteral("sensor %1 ").arg(i);
        header << sensor + QStringLiteral("gas") << sensor + QStringLiteral("result")
               << sensor + QStringLiteral("value") << sensor + QStringLiteral("second value");
    }
    header << QStringLiteral("latitude") << QStringLiteral("longitude")
           << QStringLiteral("fix quality") << QStringLiteral("detail");
    text += header.join(QLatin1Char(',')) + QStringLiteral("\r\n");

    QStringList values(columns.Numbers.size());
    for (size_t s = 0; s < sessions.size(); ++s) {
        const SessionValues& session = sessions[s];
        const QString instrument = CsvTextField(InstrumentOf(instruments, s));
        for (const RecordValue& record : session.Records) {
            if (!FilterShows(filter, record)) {
                continue;
            }
            for (QString& value : values) {
                value.clear();
            }
            const std::vector<NamedReading> readings = NamedReadings(record);
            for (const NamedReading& reading : readings) {
                values[columns.Numbers.indexOf(reading.Name)] = reading.Text;
            }
            text += WallClockText(record);
            text += QLatin1Char(',') + QString::number(session.Slot);
            if (named) {
                text += QLatin1Char(',') + instrument;
            }
            text += QLatin1Char(',') + QLatin1String(RecordKindWord(record.Kind));
            text += QLatin1Char(',') + CsvTextField(ModeText(record));
            for (const QString& value : values) {
                text += QLatin1Char(',') + value;
            }
            if (columns.OverRange) {
                text += QLatin1Char(',') + CsvField(OverRangeText(readings));
            }
            for (size_t i = 0; i < columns.TestedSensors; ++i) {
                if (i >= record.Sensors.size()) {
                    text += QStringLiteral(",,,,");
                    continue;
                }
                const TestedSensorCells cells = TestedSensorText(record.Sensors[i]);
                text += QLatin1Char(',') + CsvField(cells.Gas) + QLatin1Char(',') + cells.Result +
                        QLatin1Char(',') + cells.Value + QLatin1Char(',') + cells.SecondValue;
            }
            if (Located(record)) {
                text += QLatin1Char(',') + DegreesText(record.Gps.Latitude());
                text += QLatin1Char(',') + DegreesText(record.Gps.Longitude());
                text += QLatin1Char(',') + QString::number(record.Gps.Quality);
            } else {
                text += QStringLiteral(",,,");
            }
            text += QLatin1Char(',') + CsvTextField(DetailText(record));
            text += QStringLiteral("\r\n");
        }
    }
    return text.toUtf8();
}
