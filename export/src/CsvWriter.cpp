#include "RecordFields.h"
#include "SensorColumns.h"
#include "Writers.h"

#include <QString>
#include <QStringList>

#include <algorithm>

namespace {

// A field holding a comma, quote or line end goes in quotes, its quotes doubled (RFC 4180).
QString Field(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'))) {
        return text;
    }
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Spreadsheets run a cell that begins with one of these as a formula; an apostrophe in front
// makes it text.
QString TextField(const QString& text) {
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && kFormulaStarts.contains(text.front())) {
        return Field(QLatin1Char('\'') + text);
    }
    return Field(text);
}

// The columns a record's values may take: one per sensor reading, four per tested sensor.
struct ValueColumns {
    SensorColumns Readings;
    size_t TestedSensors = 0;
};

ValueColumns ColumnsOf(const std::vector<SessionValues>& sessions, const LogFilter& filter) {
    ValueColumns columns;
    for (const SessionValues& session : sessions) {
        for (const RecordValue& record : session.Records) {
            if (FilterShows(filter, record)) {
                columns.Readings.Add(ReadingNames(record));
                columns.TestedSensors = std::max(columns.TestedSensors, record.Sensors.size());
            }
        }
    }
    return columns;
}

} // namespace

QByteArray WriteCsv(const std::vector<SessionValues>& sessions, const LogFilter& filter) {
    const ValueColumns columns = ColumnsOf(sessions, filter);

    QString text;
    QStringList header = {QStringLiteral("time"), QStringLiteral("session"), QStringLiteral("kind"),
                          QStringLiteral("mode")};
    for (const QString& name : columns.Readings.Names()) {
        header << Field(name);
    }
    for (size_t i = 1; i <= columns.TestedSensors; ++i) {
        const QString sensor = QStringLiteral("sensor %1 ").arg(i);
        header << sensor + QStringLiteral("gas") << sensor + QStringLiteral("result")
               << sensor + QStringLiteral("value") << sensor + QStringLiteral("second value");
    }
    header << QStringLiteral("latitude") << QStringLiteral("longitude")
           << QStringLiteral("fix quality") << QStringLiteral("detail");
    text += header.join(QLatin1Char(',')) + QStringLiteral("\r\n");

    QStringList values(columns.Readings.Names().size());
    for (const SessionValues& session : sessions) {
        for (const RecordValue& record : session.Records) {
            if (!FilterShows(filter, record)) {
                continue;
            }
            for (QString& value : values) {
                value.clear();
            }
            const QStringList names = ReadingNames(record);
            for (qsizetype i = 0; i < names.size(); ++i) {
                values[columns.Readings.IndexOf(names[i])] =
                    ReadingText(record.Readings[static_cast<size_t>(i)]);
            }
            text += WallClockText(record);
            text += QLatin1Char(',') + QString::number(session.Slot);
            text += QLatin1Char(',') + QLatin1String(RecordKindWord(record.Kind));
            text += QLatin1Char(',') + TextField(ModeText(record));
            for (const QString& value : values) {
                text += QLatin1Char(',') + value;
            }
            for (size_t i = 0; i < columns.TestedSensors; ++i) {
                if (i >= record.Sensors.size()) {
                    text += QStringLiteral(",,,,");
                    continue;
                }
                const TestedSensorCells cells = TestedSensorText(record.Sensors[i]);
                text += QLatin1Char(',') + Field(cells.Gas) + QLatin1Char(',') + cells.Result +
                        QLatin1Char(',') + cells.Value + QLatin1Char(',') + cells.SecondValue;
            }
            if (Located(record)) {
                text += QLatin1Char(',') + DegreesText(record.Gps.Latitude());
                text += QLatin1Char(',') + DegreesText(record.Gps.Longitude());
                text += QLatin1Char(',') + QString::number(record.Gps.Quality);
            } else {
                text += QStringLiteral(",,,");
            }
            text += QLatin1Char(',') + TextField(DetailText(record));
            text += QStringLiteral("\r\n");
        }
    }
    return text.toUtf8();
}
