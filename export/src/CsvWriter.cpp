#include "RecordFields.h"
#include "Writers.h"

#include <QString>
#include <QStringList>

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

// The gas columns: one per heading met in the exported records, in the order first met.
QStringList GasColumns(const std::vector<SessionValues>& sessions, const LogFilter& filter) {
    QStringList headings;
    bool seen[kGasCodes] = {};
    for (const SessionValues& session : sessions) {
        for (const RecordValue& record : session.Records) {
            if (!FilterShows(filter, record)) {
                continue;
            }
            for (const GasReading& reading : record.Readings) {
                if (!seen[reading.Code]) {
                    seen[reading.Code] = true;
                    const QString heading = GasHeading(reading.Code);
                    if (!headings.contains(heading)) {
                        headings << heading;
                    }
                }
            }
        }
    }
    return headings;
}

} // namespace

QByteArray WriteCsv(const std::vector<SessionValues>& sessions, const LogFilter& filter) {
    const QStringList gases = GasColumns(sessions, filter);
    // Where each gas code's value goes among the gas columns.
    int column[kGasCodes];
    for (int code = 0; code < kGasCodes; ++code) {
        column[code] = static_cast<int>(gases.indexOf(GasHeading(code)));
    }

    QString text;
    QStringList header = {QStringLiteral("time"), QStringLiteral("session"), QStringLiteral("kind"),
                          QStringLiteral("mode")};
    for (const QString& gas : gases) {
        header << Field(gas);
    }
    header << QStringLiteral("latitude") << QStringLiteral("longitude")
           << QStringLiteral("fix quality") << QStringLiteral("detail");
    text += header.join(QLatin1Char(',')) + QStringLiteral("\r\n");

    QStringList values(gases.size());
    for (const SessionValues& session : sessions) {
        for (const RecordValue& record : session.Records) {
            if (!FilterShows(filter, record)) {
                continue;
            }
            for (QString& value : values) {
                value.clear();
            }
            for (const GasReading& reading : record.Readings) {
                values[column[reading.Code]] = ReadingText(reading);
            }
            text += WallClockText(record);
            text += QLatin1Char(',') + QString::number(session.Slot);
            text += QLatin1Char(',') + QLatin1String(RecordKindWord(record.Kind));
            text += QLatin1Char(',') + TextField(ModeText(record));
            for (const QString& value : values) {
                text += QLatin1Char(',') + value;
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
