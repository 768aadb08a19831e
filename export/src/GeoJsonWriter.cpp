#include "RecordFields.h"
#include "SensorColumns.h"
#include "Writers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonObject Feature(const SessionValues& session, const QString& instrument,
                    const RecordValue& record) {
    // RFC 7946: longitude first.
    const QJsonObject geometry{
        {QStringLiteral("type"), QStringLiteral("Point")},
        {QStringLiteral("coordinates"), QJsonArray{record.Gps.Longitude(), record.Gps.Latitude()}},
    };
    QJsonObject properties{
        {QStringLiteral("slot"), session.Slot},
        {QStringLiteral("kind"), QLatin1String(RecordKindWord(record.Kind))},
        {QStringLiteral("mode"), ModeText(record)},
        {QStringLiteral("fix quality"), record.Gps.Quality},
        {QStringLiteral("detail"), DetailText(record)},
    };
    if (!instrument.isEmpty()) {
        properties.insert(QStringLiteral("instrument"), instrument);
    }
    // One property per sensor, as a GIS styles and filters by a field; an over-range reading is
    // no number, and a property of its own names it.
    const std::vector<NamedReading> readings = NamedReadings(record);
    for (const NamedReading& reading : readings) {
        properties.insert(reading.Name,
                          reading.OverRange ? QJsonValue(QJsonValue::Null) : reading.Value);
    }
    const QString overRange = OverRangeText(readings);
    if (!overRange.isEmpty()) {
        properties.insert(QStringLiteral("over range"), overRange);
    }
    if (HasTime(record)) {
        properties.insert(QStringLiteral("time"), WallClockText(record));
        properties.insert(QStringLiteral("utc"), UtcText(record));
    }
    return QJsonObject{
        {QStringLiteral("type"), QStringLiteral("Feature")},
        {QStringLiteral("geometry"), geometry},
        {QStringLiteral("properties"), properties},
    };
}

} // namespace

QByteArray WriteGeoJson(const std::vector<SessionValues>& sessions, const LogFilter& filter,
                        const QStringList& instruments) {
    QJsonArray features;
    for (size_t s = 0; s < sessions.size(); ++s) {
        const QString instrument = InstrumentOf(instruments, s);
        for (const RecordValue& record : sessions[s].Records) {
            if (FilterShows(filter, record) && Located(record)) {
                features.append(Feature(sessions[s], instrument, record));
            }
        }
    }
    const QJsonObject collection{
        {QStringLiteral("type"), QStringLiteral("FeatureCollection")},
        {QStringLiteral("features"), features},
    };
    // Compact: a whole download is many megabytes, and every reader takes it as well.
    return QJsonDocument(collection).toJson(QJsonDocument::Compact);
}
