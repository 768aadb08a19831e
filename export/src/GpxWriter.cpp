#include "RecordFields.h"
#include "SensorColumns.h"
#include "Writers.h"

#include "map/SurveyRecord.h"

#include <QXmlStreamWriter>

#include <vector>

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

// The readings of a waypoint go in elements of this program's own namespace, as the schema asks
// of extensions.
constexpr QLatin1String kReadingsNamespace("urn:tavon-datalogging:gpx-readings:1");

// A reading's name as an XML element name, which can hold neither blanks, brackets nor "%":
// "CO (ppm) 2" becomes CO_ppm_2, "LEL (% LEL)" LEL_pct_LEL.
QString ElementName(const QString& name) {
    QStringList words;
    QString word;
    for (const QChar c : name) {
        if (c.isLetterOrNumber() && c.unicode() < 0x80) {
            word += c;
            continue;
        }
        if (!word.isEmpty()) {
            words << word;
            word.clear();
        }
        if (c == QLatin1Char('%')) {
            words << QStringLiteral("pct");
        }
    }
    if (!word.isEmpty()) {
        words << word;
    }
    QString element = words.join(QLatin1Char('_'));
    if (element.isEmpty() || !element.front().isLetter()) {
        element.prepend(QStringLiteral("gas_"));
    }
    return element;
}

// An over-range reading has no element: over_range names it.
void WriteReadings(QXmlStreamWriter& xml, const RecordValue& record) {
    const std::vector<NamedReading> readings = NamedReadings(record);
    if (readings.empty()) {
        return;
    }
    xml.writeStartElement(QStringLiteral("extensions"));
    for (const NamedReading& reading : readings) {
        if (!reading.OverRange) {
            xml.writeTextElement(kReadingsNamespace, ElementName(reading.Name), reading.Text);
        }
    }
    const QString overRange = OverRangeText(readings);
    if (!overRange.isEmpty()) {
        xml.writeTextElement(kReadingsNamespace, QStringLiteral("over_range"), overRange);
    }
    xml.writeEndElement();
}

void WritePoint(QXmlStreamWriter& xml, const QString& element, const RecordValue& record) {
    xml.writeStartElement(element);
    xml.writeAttribute(QStringLiteral("lat"), DegreesText(record.Gps.Latitude()));
    xml.writeAttribute(QStringLiteral("lon"), DegreesText(record.Gps.Longitude()));
    if (HasTime(record)) {
        xml.writeTextElement(QStringLiteral("time"), UtcText(record));
    }
}

void WriteWaypoint(QXmlStreamWriter& xml, const RecordValue& record, const QString& instrument) {
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
    if (!instrument.isEmpty()) {
        xml.writeTextElement(QStringLiteral("src"), XmlText(instrument));
    }
    xml.writeTextElement(QStringLiteral("type"), kind);
    WriteReadings(xml, record);
    xml.writeEndElement();
}

// One track per session with survey positions, one segment per unbroken piece of it.
void WriteTrack(QXmlStreamWriter& xml, const SessionValues& session, const QString& instrument) {
    const std::vector<TrackPiece> pieces = TrackPieces(session);
    if (pieces.empty()) {
        return;
    }
    xml.writeStartElement(QStringLiteral("trk"));
    const QString start = WallClockText(*pieces.front().front().Record);
    xml.writeTextElement(
        QStringLiteral("name"),
        QStringLiteral("Slot %1 survey %2").arg(session.Slot).arg(start).trimmed());
    if (!instrument.isEmpty()) {
        xml.writeTextElement(QStringLiteral("src"), XmlText(instrument));
    }
    for (const TrackPiece& piece : pieces) {
        xml.writeStartElement(QStringLiteral("trkseg"));
        for (const TrackPosition& position : piece) {
            WritePoint(xml, QStringLiteral("trkpt"), *position.Record);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

} // namespace

QByteArray WriteGpx(const std::vector<SessionValues>& sessions, const LogFilter& filter,
                    const QStringList& instruments) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("gpx"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.topografix.com/GPX/1/1"));
    xml.writeNamespace(kReadingsNamespace, QStringLiteral("tavon"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    xml.writeAttribute(QStringLiteral("creator"), QStringLiteral("Tavon Datalogging"));
    // The schema requires every waypoint before the first track.
    for (size_t s = 0; s < sessions.size(); ++s) {
        for (const RecordValue& record : sessions[s].Records) {
            if (FilterShows(filter, record) && Located(record)) {
                WriteWaypoint(xml, record, InstrumentOf(instruments, s));
            }
        }
    }
    for (size_t s = 0; s < sessions.size(); ++s) {
        WriteTrack(xml, sessions[s], InstrumentOf(instruments, s));
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}
