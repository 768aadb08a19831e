#include "ExportSupport.h"
#include "export/SessionExport.h"
#include "orvtime/OrvTime.h"
#include "recbuild/RecordBuilder.h"
#include "report/Report.h"
#include "sim/LogMemory.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/InstrumentStamp.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using R = RecordBuilder;
using exporttest::Column;
using exporttest::Join;
using exporttest::ReadCsv;

class ExportTest : public ::testing::Test {
protected:
    // New York in July: the wall clock is four hours behind UTC.
    testsupport::ZoneGuard zone{"America/New_York"};
    const uint32_t start = testsupport::InstrumentStamp(2026, 7, 14, 9, 30, 0);
    const GpsFix london = GpsFix::At(true, 5130, 0, false, 6, 6000, 2);
    const GpsFix sydney = GpsFix::At(false, 3351, 6000, true, 15112, 3000, 1);
    std::string modes[4] = {"Leak Survey", "", "", ""};
    exporttest::Streams source;

    std::vector<SessionValues> Sessions() {
        source.streams[4] = Join({
            R::Stamped('O', '1', start).Chars("GAS", 3).Chars("JS", 4).Bytes(),
            R::Stamped('J', '1', start + 1).Text("=SUM(A1)").Byte(0).Bytes(),
            R::FreeText("Smell, \"strong\"\r\nat \x80 meter").Bytes(),
            R::Stamped('W', '3', start + 2).S16(120).Gps(london).Bytes(),
            R::Stamped('W', '3', start + 3).S16(80).Gps(sydney).Bytes(),
            R::Stamped('A', '2', start + 4)
                .Byte(4)
                .Readings({{0, 25}, {4, 210}}, R::kGpsFollows)
                .ZeroGps()
                .Bytes(),
            R::Stamped('M', '4', start + 5)
                .Byte('1')
                .Readings({{3, 209}}, R::kGpsFollows)
                .Gps(london)
                .Bytes(),
            R::Stamped('B', '2', start + 6).BumpResult(4, 1, 98).BumpResult(5, 2, 7).Bytes(),
            R::Stamped('X', '1', start + 7).Bytes(),
        });
        // A second session whose survey positions come out of time order.
        source.streams[9] = Join({
            R::Stamped('W', '1', start + 100).S16(5).Gps(sydney).Bytes(),
            R::Stamped('W', '1', start + 50).S16(6).Gps(london).Bytes(),
        });
        return {DecodeSessionValues(source, 4, modes), DecodeSessionValues(source, 9, modes)};
    }
};

TEST_F(ExportTest, CsvReadsBackCellByCell) {
    const QByteArray csv = ExportSessions(Sessions(), ExportFormat::Csv, LogFilter());
    const auto rows = ReadCsv(csv.toStdString());
    ASSERT_EQ(rows.size(), 12u); // header, nine records, two records
    const std::vector<std::string>& header = rows[0];
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), header.size());
    }
    EXPECT_EQ(header[0], "time");
    const size_t co = Column(header, "CO (ppm)");
    const size_t lel = Column(header, "LEL (% LEL)");
    const size_t lat = Column(header, "latitude");
    const size_t lon = Column(header, "longitude");
    const size_t detail = Column(header, "detail");
    const size_t kind = Column(header, "kind");

    EXPECT_EQ(rows[1][0], "2026-07-14T09:30:00");
    EXPECT_EQ(rows[1][Column(header, "mode")], "Leak Survey");
    EXPECT_EQ(rows[2][detail], "'=SUM(A1)"); // never a formula
    EXPECT_EQ(rows[3][detail], "Smell, \"strong\"\r\nat \xE2\x82\xAC meter");
    EXPECT_EQ(rows[3][0], "2026-07-14T09:30:01"); // free text keeps the time before it
    EXPECT_NEAR(std::stod(rows[4][lat]), 51.5, 1e-7);
    EXPECT_NEAR(std::stod(rows[4][lon]), -0.11, 1e-7);
    EXPECT_NEAR(std::stod(rows[5][lat]), -33.86, 1e-7);
    EXPECT_NEAR(std::stod(rows[5][lon]), 151.205, 1e-7);
    EXPECT_EQ(rows[6][kind], "alarm");
    EXPECT_EQ(rows[6][lel], "2.5");
    EXPECT_EQ(rows[6][co], "210");
    EXPECT_EQ(rows[6][lat], ""); // the zero block is no position
    EXPECT_EQ(rows[6][detail], "CO alarm");
    EXPECT_EQ(rows[7][Column(header, "O2 (%)")], "20.9");
    const std::vector<std::pair<std::string, std::string>> bump = {{"sensor 1 gas", "CO (ppm)"},
                                                                   {"sensor 1 result", "PASS"},
                                                                   {"sensor 1 value", "98"},
                                                                   {"sensor 2 gas", "H2S (ppm)"},
                                                                   {"sensor 2 result", "FAIL"},
                                                                   {"sensor 2 value", "7"},
                                                                   {"detail", ""}};
    for (const auto& [name, text] : bump) {
        EXPECT_EQ(rows[8][Column(header, name)], text) << name;
    }
    EXPECT_EQ(rows[9][kind], "unrecognised");
    EXPECT_EQ(rows[9][detail], "not decoded: type X version 1");
    EXPECT_EQ(rows[10][Column(header, "slot")], "9");
}

TEST_F(ExportTest, CsvLeavesOutWhatTheFilterHides) {
    LogFilter filter;
    filter.Alarm = false;
    filter.Bump = false;
    const auto rows = ReadCsv(ExportSessions(Sessions(), ExportFormat::Csv, filter).toStdString());
    ASSERT_EQ(rows.size(), 10u);
    for (const auto& row : rows) {
        EXPECT_NE(row[Column(rows[0], "kind")], "alarm");
        EXPECT_NE(row[Column(rows[0], "kind")], "bump test");
    }
}

TEST_F(ExportTest, GeoJsonHoldsEveryLocatedRecordAndNoOther) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(
        ExportSessions(Sessions(), ExportFormat::GeoJson, LogFilter()), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(doc.object().value("type").toString().toStdString(), "FeatureCollection");
    const QJsonArray features = doc.object().value("features").toArray();
    ASSERT_EQ(features.size(), 5); // two surveys, the manual reading, two more surveys
    struct Expected {
        const char* kind;
        double lon, lat;
    };
    const Expected expected[] = {{"survey", -0.11, 51.5},
                                 {"survey", 151.205, -33.86},
                                 {"manual", -0.11, 51.5},
                                 {"survey", 151.205, -33.86},
                                 {"survey", -0.11, 51.5}};
    for (int i = 0; i < features.size(); ++i) {
        const QJsonObject feature = features[i].toObject();
        const QJsonArray coordinates =
            feature.value("geometry").toObject().value("coordinates").toArray();
        EXPECT_NEAR(coordinates[0].toDouble(), expected[i].lon, 1e-9) << i;
        EXPECT_NEAR(coordinates[1].toDouble(), expected[i].lat, 1e-9) << i;
        EXPECT_EQ(feature.value("properties").toObject().value("kind").toString().toStdString(),
                  expected[i].kind);
    }
    const QJsonObject manual = features[2].toObject().value("properties").toObject();
    EXPECT_DOUBLE_EQ(manual.value("O2 (%)").toDouble(), 20.9);
    EXPECT_EQ(manual.value("time").toString().toStdString(), "2026-07-14T09:30:05");
    EXPECT_EQ(manual.value("utc").toString().toStdString(), "2026-07-14T13:30:05Z");
    EXPECT_EQ(manual.value("detail").toString().toStdString(), "Methane");
}

TEST_F(ExportTest, GpxHasWaypointsAndOneTimeOrderedTrackPerSession) {
    QXmlStreamReader xml(ExportSessions(Sessions(), ExportFormat::Gpx, LogFilter()));
    std::vector<std::string> waypointTimes;
    std::vector<std::vector<std::string>> tracks;
    QString element;
    // The children of a waypoint, in the order the GPX 1.1 schema gives them.
    QStringList waypointChildren;
    int depth = 0;
    bool inExtensions = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            --depth;
            inExtensions = inExtensions && xml.name() != QLatin1String("extensions");
        }
        if (xml.isStartElement()) {
            ++depth;
            // Only the readings inside a waypoint's extensions are of another namespace.
            EXPECT_EQ(xml.namespaceUri().toString().toStdString(),
                      inExtensions ? "urn:tavon-datalogging:gpx-readings:1"
                                   : "http://www.topografix.com/GPX/1/1");
            inExtensions = inExtensions || xml.name() == QLatin1String("extensions");
            element = xml.name().toString();
            if (element == "trk") {
                tracks.emplace_back();
            }
            EXPECT_FALSE(element == "wpt" && !tracks.empty()) << "a waypoint after a track";
            if (depth == 3 && tracks.empty() && waypointChildren.size() < 5) {
                waypointChildren << element;
            }
            if (element == "wpt" || element == "trkpt") {
                EXPECT_FALSE(xml.attributes().value("lat").isEmpty());
            }
        } else if (xml.isCharacters() && !xml.isWhitespace() && element == "time") {
            (tracks.empty() ? waypointTimes : tracks.back())
                .push_back(xml.text().toString().toStdString());
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(waypointChildren, QStringList({"time", "name", "desc", "type", "extensions"}));
    ASSERT_EQ(waypointTimes.size(), 5u);
    EXPECT_EQ(waypointTimes[0], "2026-07-14T13:30:02Z");
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0],
              (std::vector<std::string>{"2026-07-14T13:30:02Z", "2026-07-14T13:30:03Z"}));
    EXPECT_EQ(tracks[1],
              (std::vector<std::string>{"2026-07-14T13:30:50Z", "2026-07-14T13:31:40Z"}));
}

// Every format names the instrument where it is known, and a dump's file names none.
TEST_F(ExportTest, EveryFormatNamesTheInstrumentWhereItIsKnown) {
    const std::vector<SessionValues> sessions = Sessions();
    const QStringList instruments = {"SN 0042", "=Van 2"};
    const auto rows = ReadCsv(
        ExportSessions(sessions, ExportFormat::Csv, LogFilter(), instruments).toStdString());
    ASSERT_EQ(rows.size(), 12u);
    const size_t column = Column(rows[0], "instrument");
    EXPECT_EQ(column, 2u) << "after the session";
    for (size_t r = 1; r < rows.size(); ++r) {
        EXPECT_EQ(rows[r][column], r < 10 ? "SN 0042" : "'=Van 2") << r;
    }
    for (const QStringList& none : {QStringList(), QStringList{"", ""}}) {
        const auto plain =
            ReadCsv(ExportSessions(sessions, ExportFormat::Csv, LogFilter(), none).toStdString());
        EXPECT_EQ(std::find(plain[0].begin(), plain[0].end(), "instrument"), plain[0].end());
    }

    const QJsonArray features =
        QJsonDocument::fromJson(
            ExportSessions(sessions, ExportFormat::GeoJson, LogFilter(), instruments))
            .object()
            .value("features")
            .toArray();
    ASSERT_EQ(features.size(), 5);
    for (int i = 0; i < features.size(); ++i) {
        EXPECT_EQ(features[i]
                      .toObject()
                      .value("properties")
                      .toObject()
                      .value("instrument")
                      .toString()
                      .toStdString(),
                  i < 3 ? "SN 0042" : "=Van 2")
            << i;
    }
    EXPECT_FALSE(
        ExportSessions(sessions, ExportFormat::GeoJson, LogFilter()).contains("instrument"));

    // GPX 1.1 has a place for where the data came from: src, after desc.
    QXmlStreamReader xml(ExportSessions(sessions, ExportFormat::Gpx, LogFilter(), instruments));
    std::vector<std::string> sources;
    QString parent;
    QString before;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        if (xml.name() == QLatin1String("wpt") || xml.name() == QLatin1String("trk")) {
            parent = xml.name().toString();
        } else if (xml.name() == QLatin1String("src")) {
            EXPECT_TRUE(before == "desc" || before == "name") << before.toStdString();
            sources.push_back(parent.toStdString() + " " + xml.readElementText().toStdString());
        }
        before = xml.name().toString();
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(sources,
              (std::vector<std::string>{"wpt SN 0042", "wpt SN 0042", "wpt SN 0042", "wpt =Van 2",
                                        "wpt =Van 2", "trk SN 0042", "trk =Van 2"}));
    EXPECT_FALSE(ExportSessions(sessions, ExportFormat::Gpx, LogFilter()).contains("<src>"));
}

// Every session of a generated memory, every format: as many rows and points as the values hold.
TEST_F(ExportTest, GeneratedMemoryRoundTrips) {
    sim::LogMemory memory;
    sim::MemoryOptions options;
    options.withUnknownRecords = true;
    memory.Generate(options);
    std::vector<SessionValues> sessions;
    size_t records = 0;
    size_t located = 0;
    for (const sim::GeneratedSession& generated : memory.Sessions()) {
        source.streams[static_cast<int16_t>(generated.slot)] = generated.stream;
        sessions.push_back(
            DecodeSessionValues(source, static_cast<int16_t>(generated.slot), modes));
        for (const RecordValue& record : sessions.back().Records) {
            ++records;
            located += record.HasGps && record.Gps.Located() ? 1 : 0;
        }
    }
    ASSERT_GT(located, 0u);
    EXPECT_EQ(
        ReadCsv(ExportSessions(sessions, ExportFormat::Csv, LogFilter()).toStdString()).size(),
        records + 1);
    const QJsonDocument doc =
        QJsonDocument::fromJson(ExportSessions(sessions, ExportFormat::GeoJson, LogFilter()));
    EXPECT_EQ(static_cast<size_t>(doc.object().value("features").toArray().size()), located);
    QXmlStreamReader xml(ExportSessions(sessions, ExportFormat::Gpx, LogFilter()));
    size_t waypoints = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            xml.name() == QLatin1String("wpt")) {
            ++waypoints;
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(waypoints, located);
}

TEST(ExportFormat, WordsAndSuffixes) {
    ExportFormat format = ExportFormat::Csv;
    EXPECT_TRUE(ParseExportFormat("gpx", format));
    EXPECT_EQ(format, ExportFormat::Gpx);
    EXPECT_FALSE(ParseExportFormat("kml", format));
    EXPECT_TRUE(ExportFormatForPath("day.GeoJSON", format));
    EXPECT_EQ(format, ExportFormat::GeoJson);
    EXPECT_FALSE(ExportFormatForPath("day.rtf", format));
}

} // namespace
