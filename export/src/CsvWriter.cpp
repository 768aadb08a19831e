#include "CsvCells.h"
#include "RecordFields.h"
#include "SensorColumns.h"
#include "Writers.h"

#include "report/SensorNames.h"

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
    // The tested sensors, four columns each under their number: a sensor keeps its columns on
    // every row, whichever sensors a record lists.
    SensorOrder TestedSensors;
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
                columns.TestedSensors.Add(record.Sensors);
            }
        }
    }
    columns.Numbers = columns.Readings.Names();
    for (int i = 0; i < columns.Extras; ++i) {
        columns.Numbers << ExtraReadingName(i);
    }
    return columns;
}

// The header row: the record's own columns, the readings, the tested sensors, the position.
QString HeaderRow(const ValueColumns& columns, bool named) {
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
    for (size_t i = 1; i <= columns.TestedSensors.Count(); ++i) {
        const QString sensor = QStringLiteral("sensor %1 ").arg(i);
        header << sensor + QStringLiteral("gas") << sensor + QStringLiteral("result")
               << sensor + QStringLiteral("value") << sensor + QStringLiteral("second value");
    }
    header << QStringLiteral("latitude") << QStringLiteral("longitude")
           << QStringLiteral("fix quality") << QStringLiteral("detail");
    return header.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

// Four cells for each sensor of the file's order, empty where the record leaves it out.
void TestedSensorCellsOf(const ValueColumns& columns, const RecordValue& record,
                         std::vector<QString>& tested) {
    tested.assign(columns.TestedSensors.Count(), QStringLiteral(",,,,"));
    const std::vector<int> numbers = columns.TestedSensors.Numbers(record.Sensors);
    for (size_t k = 0; k < record.Sensors.size(); ++k) {
        if (numbers[k] < 1) {
            continue; // a sensor the order was never given: none, each record shown was
        }
        const TestedSensorCells cells = TestedSensorText(record.Sensors[k]);
        tested[static_cast<size_t>(numbers[k] - 1)] =
            QLatin1Char(',') + CsvField(cells.Gas) + QLatin1Char(',') + cells.Result +
            QLatin1Char(',') + cells.Value + QLatin1Char(',') + cells.SecondValue;
    }
}

} // namespace

QByteArray WriteCsv(const std::vector<SessionValues>& sessions, const LogFilter& filter,
                    const QStringList& instruments) {
    const ValueColumns columns = ColumnsOf(sessions, filter);
    // A dump names no instrument: its file has no column for one.
    const bool named = NamesAny(instruments);

    QString text = HeaderRow(columns, named);
    QStringList values(columns.Numbers.size());
    std::vector<QString> tested;
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
            TestedSensorCellsOf(columns, record, tested);
            for (const QString& cells : tested) {
                text += cells;
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
