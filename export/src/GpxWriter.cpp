#include "RecordFields.h"
#include "Writers.h"

#include <QXmlStreamWriter>

#include <algorithm>

namespace {

// XML 1.0 has no place for most control characters, which an instrument text may hold.
QString XmlText(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xFFFE || u == 0xFFFF) {
            c = QChar(0xFFFD);
        }
    }
    return text;
}

void WritePoint(QXmlStreamWriter& xml, const QString& element, const RecordValue& record) {
    xml.writeStartElement(element);
    xml.writeAttribute(QStringLiteral("lat"), DegreesText(record.Gps.Latitude()));
    xml.writeAttribute(QStringLiteral("lon"), DegreesText(record.Gps.Longitude()));
    if (HasTime(record)) {
        xml.writeTextElement(QStringLiteral("time"), UtcText(record));
    }
}

void WriteWaypoint(QXmlStreamWriter& xml, const RecordValue& record) {
    WritePoint(xml, QStringLiteral("wpt"), record);
    const QString kind = QLatin1String(RecordKindWord(record.Kind));
    const QString when = WallClockText(record);
    xml.writeTextElement(QStringLiteral("name"),
                         when.isEmpty() ? kind : when + QLatin1Char(' ') + kind);
    QString description = ReadingsText(record);
    const QString detail = DetailText(record);
    if (!detail.isEmpty()) {
        description += description.isEmpty() ? detail : QStringLiteral("; ") + detail;
    }
    if (!description.isEmpty()) {
        xml.writeTextElement(QStringLiteral("desc"), XmlText(description));
    }
    xml.writeTextElement(QStringLiteral("type"), kind);
    xml.writeEndElement();
}

// The survey positions of a session in time order (records of equal time keep stream order).
std::vector<const RecordValue*> SurveyTrack(const SessionValues& session) {
    std::vector<const RecordValue*> track;
    for (const RecordValue& record : session.Records) {
        if (record.Kind == RecordKind::Survey && Located(record)) {
            track.push_back(&record);
        }
    }
    std::stable_sort(track.begin(), track.end(),
                     [](const RecordValue* a, const RecordValue* b) { return a->Time < b->Time; });
    return track;
}

} // namespace

QByteArray WriteGpx(const std::vector<SessionValues>& sessions, const LogFilter& filter) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("gpx"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.topografix.com/GPX/1/1"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    xml.writeAttribute(QStringLiteral("creator"), QStringLiteral("Tavon Datalogging"));
    // The schema requires every waypoint before the first track.
    for (const SessionValues& session : sessions) {
        for (const RecordValue& record : session.Records) {
            if (FilterShows(filter, record) && Located(record)) {
                WriteWaypoint(xml, record);
            }
        }
    }
    for (const SessionValues& session : sessions) {
        const std::vector<const RecordValue*> track = SurveyTrack(session);
        if (track.empty()) {
            continue;
        }
        xml.writeStartElement(QStringLiteral("trk"));
        const QString start = WallClockText(*track.front());
        xml.writeTextElement(
            QStringLiteral("name"),
            QStringLiteral("Session %1 survey %2").arg(session.Slot).arg(start).trimmed());
        xml.writeStartElement(QStringLiteral("trkseg"));
        for (const RecordValue* record : track) {
            WritePoint(xml, QStringLiteral("trkpt"), *record);
            xml.writeEndElement();
        }
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}
