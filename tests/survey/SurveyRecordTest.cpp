// The survey record: route lengths against distances worked out here, the pieces of a track, the
// indications, and the GPX export's segments against the same pieces.
#include "map/SurveyRecord.h"
#include "export/SessionExport.h"
#include "export/SurveyExport.h"
#include "map/SessionMap.h"
#include "recbuild/RecordBuilder.h"
#include "report/Report.h"
#include "sim/LogMemory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QXmlStreamReader>

#include "testsupport/SessionStreams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace {

using R = RecordBuilder;
using Bytes = std::vector<uint8_t>;

using Streams = testsupport::SessionStreams;

constexpr uint32_t kStart = 850000000;
// A minute of arc on a sphere of the earth's mean radius, worked out as an arc length: radius
// times angle. Points on one meridian, or on the equator, are that far apart per minute.
const double kMinuteMetres = 6371008.8 * (3.14159265358979323846 / 180.0) / 60.0;

// Survey records at 51 degrees north and these minutes beyond, on the meridian 1 degree west.
Bytes Survey(uint32_t offset, int16_t minutes) {
    return R::Stamped('W', '1', kStart + offset)
        .S16(5)
        .Gps(GpsFix::At(true, static_cast<int16_t>(5100 + minutes), 0, false, 100, 0, 2))
        .Bytes();
}
Bytes LostFix(uint32_t offset) {
    return R::Stamped('W', '1', kStart + offset).S16(5).ZeroGps().Bytes();
}
Bytes Off(uint32_t offset) {
    return R::Stamped('Y', '1', kStart + offset).Bytes();
}
Bytes On(uint32_t offset) {
    return R::Stamped('O', '1', kStart + offset).Chars("GAS", 3).Bytes();
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

SessionValues Decode(Streams& source, int16_t slot) {
    std::string modes[4] = {"", "", "", ""};
    return DecodeSessionValues(source, slot, modes);
}

struct RouteCase {
    const char* name;
    Bytes stream;
    std::vector<size_t> pieceSizes;
    double minutesWalked; // along the meridian, within the pieces
    int32_t surveyRecords;
    int32_t fixes;
};

class RouteTest : public ::testing::TestWithParam<RouteCase> {};

TEST_P(RouteTest, PiecesAndRouteAsWorkedOut) {
    const RouteCase& c = GetParam();
    Streams source;
    source.streams[3] = c.stream;
    const SessionValues session = Decode(source, 3);
    std::vector<size_t> sizes;
    for (const TrackPiece& piece : TrackPieces(session)) {
        sizes.push_back(piece.size());
    }
    EXPECT_EQ(sizes, c.pieceSizes);
    const SessionSurvey survey = SurveySession(session, "SN 7");
    EXPECT_NEAR(survey.RouteMetres, c.minutesWalked * kMinuteMetres, 0.01);
    EXPECT_EQ(survey.SurveyRecords, c.surveyRecords);
    EXPECT_EQ(survey.Fixes, c.fixes);
    ASSERT_TRUE(survey.HasCoverage());
    EXPECT_DOUBLE_EQ(survey.Coverage(), static_cast<double>(c.fixes) / c.surveyRecords);
}

INSTANTIATE_TEST_SUITE_P(
    Tracks, RouteTest,
    ::testing::Values(
        RouteCase{
            "unbroken", Join({On(0), Survey(1, 0), Survey(2, 1), Survey(3, 3)}), {3}, 3, 3, 3},
        // Out of time order in the stream: walked 0, 1, 2 minutes, not 0, 2, 1.
        RouteCase{"timeOrder", Join({Survey(1, 0), Survey(3, 2), Survey(2, 1)}), {3}, 2, 3, 3},
        RouteCase{"lostFix",
                  Join({Survey(1, 0), Survey(2, 1), LostFix(3), Survey(4, 20), Survey(5, 22)}),
                  {2, 2},
                  3,
                  5,
                  4},
        RouteCase{"switchedOff",
                  Join({Survey(1, 0), Survey(2, 2), Off(3), On(4), Survey(5, 30), Survey(6, 31)}),
                  {2, 2},
                  3,
                  4,
                  4},
        RouteCase{"lostThenAlone", Join({LostFix(1), Survey(2, 5), LostFix(3)}), {1}, 0, 3, 1}),
    [](const ::testing::TestParamInfo<RouteCase>& info) { return std::string(info.param.name); });

TEST(SurveyRecordTest, GreatCircleAlongTheEquatorIsArcLength) {
    EXPECT_NEAR(GreatCircleMetres(0, 0, 0, 1.0 / 60), kMinuteMetres, 1e-6);
    EXPECT_NEAR(GreatCircleMetres(0, 179.5, 0, -179.5), 60 * kMinuteMetres, 1e-6);
    EXPECT_NEAR(GreatCircleMetres(-90, 0, 90, 0), 180 * 60 * kMinuteMetres, 1e-3);
}

TEST(SurveyRecordTest, SessionsNeverJoinAndTotalsAddUp) {
    Streams source;
    source.streams[1] = Join({Survey(1, 0), Survey(2, 1)});
    source.streams[2] = Join({Survey(10, 40), Survey(11, 42), LostFix(12)});
    source.streams[5] = Join({On(20), Off(21)});
    std::vector<SessionSurvey> surveys;
    for (int16_t slot : {1, 2, 5}) {
        surveys.push_back(SurveySession(Decode(source, slot), ""));
    }
    EXPECT_FALSE(surveys[2].HasCoverage());
    EXPECT_EQ(surveys[2].Pieces, 0);
    const SurveyTotals totals = SumSurveys(surveys);
    EXPECT_EQ(totals.Sessions, 3);
    EXPECT_NEAR(totals.RouteMetres, 3 * kMinuteMetres, 0.01);
    EXPECT_EQ(totals.SurveyRecords, 5);
    EXPECT_EQ(totals.Fixes, 4);
    EXPECT_EQ(totals.SurveyedSeconds, 1 + 2);
}

TEST(SurveyRecordTest, EveryIndicationWithItsPlaceGasAndValue) {
    const GpsFix fix = GpsFix::At(true, 5130, 0, false, 6, 6000, 2);
    Streams source;
    source.streams[7] = Join({
        R::Stamped('A', '2', kStart + 1)
            .Byte(4)
            .Readings({{0, 25}, {4, 210}}, R::kGpsFollows)
            .Gps(fix)
            .Bytes(),
        R::Stamped('A', '2', kStart + 2).Byte(0).Readings({{0, 25}}, R::kNoGps).Bytes(),
        R::Barhole('1', kStart + 3, 2, 0, 'G', 0, 'G').Bytes(),
        R::Barhole('1', kStart + 4, 3, 45, 'G', 10, 'G').Byte(0).Gps(fix).Bytes(),
        R::Stamped('P', '1', kStart + 5).Byte('g').S16(5).Bytes(),
        R::Stamped('P', '1', kStart + 6).Byte('L').S16(950).Bytes(),
        R::Unstamped('U', '1').Text("Ann").Byte(0).Bytes(),
        R::Stamped('J', '1', kStart + 7).Text("J-42").Byte(0).Bytes(),
    });
    const SessionSurvey survey = SurveySession(Decode(source, 7), "SN 7");
    struct Expected {
        IndicationKind kind;
        bool located;
        const char* gas;
        const char* value;
    };
    const Expected expected[] = {
        {IndicationKind::Alarm, true, "CO", "210 ppm"},
        {IndicationKind::Alarm, false, "LEL", "2.5 % LEL"},
        {IndicationKind::Barhole, true, "GAS", "4.5 % gas"},
        {IndicationKind::PipelineGas, false, "LEL", "95.0 % LEL"},
    };
    ASSERT_EQ(survey.Indications.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Indication& got = survey.Indications[i];
        EXPECT_EQ(got.Kind, expected[i].kind) << i;
        EXPECT_EQ(got.Located, expected[i].located) << i;
        EXPECT_EQ(got.Gas, expected[i].gas) << i;
        EXPECT_EQ(got.Value, expected[i].value) << i;
        if (got.Located) {
            EXPECT_NEAR(got.Latitude, 51.5, 1e-9);
            EXPECT_NEAR(got.Longitude, -0.11, 1e-9);
        }
    }
    EXPECT_FALSE(survey.HasCoverage());
    EXPECT_EQ(survey.Users, std::vector<std::string>({"Ann"}));
    EXPECT_EQ(survey.JobNumbers, std::vector<std::string>({"J-42"}));
    EXPECT_EQ(survey.Instrument, "SN 7");
    // Beside a report that hides alarms, the record leaves them out too; the rest stays.
    LogFilter noAlarms;
    noAlarms.Alarm = false;
    const SessionSurvey filtered = SurveySession(Decode(source, 7), "SN 7", noAlarms);
    ASSERT_EQ(filtered.Indications.size(), 2u);
    EXPECT_EQ(filtered.Indications[0].Kind, IndicationKind::Barhole);
    EXPECT_EQ(filtered.Indications[1].Kind, IndicationKind::PipelineGas);
    EXPECT_EQ(filtered.JobNumbers, survey.JobNumbers);
}

// The JSON record read back by Qt's parser: one object per session in the order given.
TEST(SurveyRecordTest, JsonHasEveryKeyPerSessionInOrder) {
    Streams source;
    source.streams[8] = Join({Survey(1, 0), Survey(2, 1), LostFix(3),
                              R::Stamped('A', '2', kStart + 4)
                                  .Byte(4)
                                  .Readings({{4, 35}}, R::kGpsFollows)
                                  .ZeroGps()
                                  .Bytes()});
    source.streams[2] = Join({On(10), Off(11)});
    const std::vector<SessionSurvey> surveys = {SurveySession(Decode(source, 8), "SN 7"),
                                                SurveySession(Decode(source, 2), "SN 7")};
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(WriteSurveys(surveys, SurveyFormat::Json), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonArray array = document.array();
    ASSERT_EQ(array.size(), 2);
    const QJsonObject first = array[0].toObject();
    EXPECT_EQ(first["slot"].toInt(), 8);
    EXPECT_NEAR(first["route_m"].toDouble(), kMinuteMetres, 0.01);
    EXPECT_EQ(first["fixes"].toInt(), 2);
    EXPECT_EQ(first["survey_records"].toInt(), 3);
    EXPECT_NEAR(first["coverage"].toDouble(), 2.0 / 3, 1e-12);
    const QJsonArray indications = first["indications"].toArray();
    ASSERT_EQ(indications.size(), 1);
    const QJsonObject alarm = indications[0].toObject();
    for (const char* key : {"time", "kind", "latitude", "longitude", "gas", "value"}) {
        EXPECT_TRUE(alarm.contains(QLatin1String(key))) << key;
    }
    EXPECT_EQ(alarm["kind"].toString().toStdString(), "alarm");
    EXPECT_TRUE(alarm["latitude"].isNull());
    EXPECT_EQ(alarm["gas"].toString().toStdString(), "CO");
    EXPECT_EQ(alarm["value"].toString().toStdString(), "35 ppm");
    const QJsonObject second = array[1].toObject();
    EXPECT_EQ(second["slot"].toInt(), 2);
    EXPECT_TRUE(second["coverage"].isNull());
    EXPECT_EQ(second["route_m"].toDouble(-1), 0.0);
    EXPECT_TRUE(second["indications"].toArray().isEmpty());
}

// The register's status at switch-on where it is known, in each format; null or nothing where not.
TEST(SurveyRecordTest, RegisterStatusIsWrittenWhereKnown) {
    Streams source;
    source.streams[2] = Join({On(10), Off(11)});
    std::vector<SessionSurvey> surveys = {SurveySession(Decode(source, 2), "SN 7"),
                                          SurveySession(Decode(source, 2), "SN 7")};
    surveys[0].RegisterStatus = "overdue";
    const QJsonArray array =
        QJsonDocument::fromJson(WriteSurveys(surveys, SurveyFormat::Json)).array();
    ASSERT_EQ(array.size(), 2);
    EXPECT_EQ(array[0].toObject()["register_status"].toString().toStdString(), "overdue");
    EXPECT_TRUE(array[1].toObject()["register_status"].isNull());
    EXPECT_TRUE(array[1].toObject().contains("register_status"));

    const QList<QByteArray> rows = WriteSurveys(surveys, SurveyFormat::Csv).split('\n');
    ASSERT_GE(rows.size(), 3);
    const QList<QByteArray> header = rows[0].trimmed().split(',');
    const qsizetype column = header.indexOf("register_status");
    ASSERT_GE(column, 0);
    EXPECT_EQ(rows[1].split(',').value(column), "overdue");
    EXPECT_EQ(rows[2].split(',').value(column), "");

    const std::string text = WriteSurveys(surveys, SurveyFormat::Text).toStdString();
    EXPECT_NE(text.find("  Register:       overdue at switch-on\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Register:", text.find("Register:") + 1), std::string::npos) << text;
}

// The GPX export's segments are the pieces, point by point.
TEST(SurveyRecordTest, GpxSegmentsAreThePieces) {
    Streams source;
    source.streams[1] =
        Join({Survey(1, 0), Survey(2, 1), LostFix(3), Survey(4, 9), Off(5), On(6), Survey(7, 12)});
    source.streams[2] = Join({Survey(10, 30), Survey(11, 31)});
    const std::vector<SessionValues> sessions = {Decode(source, 1), Decode(source, 2)};
    std::vector<std::vector<double>> expected;
    for (const SessionValues& session : sessions) {
        for (const TrackPiece& piece : TrackPieces(session)) {
            expected.emplace_back();
            for (const TrackPosition& position : piece) {
                expected.back().push_back(position.Latitude);
            }
        }
    }
    ASSERT_EQ(expected.size(), 4u);
    QXmlStreamReader xml(ExportSessions(sessions, ExportFormat::Gpx, LogFilter()));
    std::vector<std::vector<double>> segments;
    int tracks = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        tracks += xml.name() == QLatin1String("trk");
        if (xml.name() == QLatin1String("trkseg")) {
            segments.emplace_back();
        } else if (xml.name() == QLatin1String("trkpt")) {
            ASSERT_FALSE(segments.empty());
            segments.back().push_back(xml.attributes().value("lat").toDouble());
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(tracks, 2);
    ASSERT_EQ(segments.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(segments[i].size(), expected[i].size()) << i;
        for (size_t j = 0; j < expected[i].size(); ++j) {
            EXPECT_NEAR(segments[i][j], expected[i][j], 1e-7) << i << " " << j;
        }
    }
}

// The simulator's sessions: every fix in exactly one piece, and the GPX export's segments as many
// as the pieces of all sessions.
TEST(SurveyRecordTest, GeneratedSessionsKeepEveryFixInOnePiece) {
    sim::LogMemory memory;
    memory.Generate(sim::MemoryOptions());
    Streams source;
    std::vector<SessionValues> sessions;
    size_t pieces = 0;
    double route = 0;
    for (const sim::GeneratedSession& generated : memory.Sessions()) {
        const int16_t slot = static_cast<int16_t>(generated.slot);
        source.streams[slot] = generated.stream;
        sessions.push_back(Decode(source, slot));
        const SessionSurvey survey = SurveySession(sessions.back(), "");
        size_t inPieces = 0;
        for (const TrackPiece& piece : TrackPieces(sessions.back())) {
            inPieces += piece.size();
        }
        EXPECT_EQ(inPieces, static_cast<size_t>(survey.Fixes)) << slot;
        EXPECT_LE(survey.Fixes, survey.SurveyRecords) << slot;
        pieces += static_cast<size_t>(survey.Pieces);
        route += survey.RouteMetres;
    }
    EXPECT_GT(pieces, sessions.size() / 4);
    EXPECT_GT(route, 0.0);
    QXmlStreamReader xml(ExportSessions(sessions, ExportFormat::Gpx, LogFilter()));
    size_t segments = 0;
    while (!xml.atEnd()) {
        segments += xml.readNext() == QXmlStreamReader::StartElement &&
                    xml.name() == QLatin1String("trkseg");
    }
    EXPECT_EQ(segments, pieces);
}

// The map's scene of a session: the track is the survey record's pieces, point for point; the
// alarm and the GPS average stand where they were taken; the filter hides on the map what it
// hides in the report; the gas is chosen by its name or its name and unit, in any case.
TEST(SurveyRecordTest, MapSceneAgreesWithTheRecord) {
    const GpsFix fix = GpsFix::At(true, 5130, 0, false, 6, 6000, 2);
    Streams source;
    source.streams[9] = Join({
        Survey(1, 0),
        Survey(2, 1),
        LostFix(3),
        Survey(4, 2),
        R::Stamped('A', '2', kStart + 5)
            .Byte(4)
            .Readings({{0, 25}, {4, 10000}}, R::kGpsFollows)
            .Gps(fix)
            .Bytes(),
        R::Stamped('G', '1', kStart + 6).Bytes(Bytes(20, 1)).Bytes(),
        Off(7),
        R::Stamped('G', '1', kStart + 8).Bytes(Bytes(20, 1)).Bytes(),
    });
    const std::vector<SessionValues> sessions{Decode(source, 9)};
    const std::vector<mapping::MapGas> gases = mapping::GasesWithPlaces(sessions, LogFilter());
    ASSERT_EQ(gases.size(), 3u); // the survey's ppm, then the alarm's LEL and CO
    mapping::MapGas gas;
    ASSERT_TRUE(mapping::ChooseMapGas(gases, "co (ppm)", gas));
    EXPECT_EQ(gas.name, "CO");
    EXPECT_FALSE(mapping::ChooseMapGas(gases, "H2S", gas));
    ASSERT_TRUE(mapping::ChooseMapGas(gases, "", gas));

    const mapping::MapScene scene = mapping::SceneOfSessions(sessions, gas, LogFilter());
    const std::vector<TrackPiece> pieces = TrackPieces(sessions[0]);
    ASSERT_EQ(scene.pieces.size(), pieces.size());
    for (size_t p = 0; p < pieces.size(); ++p) {
        ASSERT_EQ(scene.pieces[p].points.size(), pieces[p].size());
        for (size_t i = 0; i < pieces[p].size(); ++i) {
            const mapping::TrackPoint& point = scene.pieces[p].points[i];
            EXPECT_EQ(point.position.latitude, pieces[p][i].Latitude);
            EXPECT_EQ(point.position.longitude, pieces[p][i].Longitude);
            EXPECT_EQ(&sessions[0].Records[static_cast<size_t>(point.record.record)],
                      pieces[p][i].Record);
            EXPECT_TRUE(point.hasValue);
            EXPECT_EQ(point.value, 5.0);
        }
    }
    // The alarm's reading of the survey's gas is none; its place is a spot and a marker. The
    // GPS average after switching off has no fix to stand on and is left off.
    ASSERT_EQ(scene.spots.size(), 1u);
    EXPECT_FALSE(scene.spots[0].hasValue);
    ASSERT_EQ(scene.markers.size(), 2u);
    EXPECT_EQ(scene.markers[0].kind, mapping::MarkerKind::Alarm);
    EXPECT_EQ(scene.markers[0].label, "Alarm CO EEEE ppm");
    EXPECT_EQ(scene.markers[1].kind, mapping::MarkerKind::GpsAverage);
    EXPECT_EQ(scene.markers[1].label, "GPS average (at the fix of 23:06:45)");
    EXPECT_NEAR(scene.markers[1].position.latitude, 51.5, 1e-9);
    EXPECT_EQ(scene.markers[1].record.stamp, kStart + 6);

    // Each gas's scene knows the top of its sensor's range, which a scale of readings that never
    // changed is measured by.
    const std::vector<std::pair<std::string, double>> ranges = {
        {"PPM", 1000}, {"LEL", 100}, {"CO", 1000}};
    for (const auto& [name, top] : ranges) {
        mapping::MapGas each;
        ASSERT_TRUE(mapping::ChooseMapGas(gases, name, each)) << name;
        EXPECT_EQ(mapping::SceneOfSessions(sessions, each, LogFilter()).fullScale, top) << name;
    }

    LogFilter noAlarms;
    noAlarms.Alarm = false;
    const mapping::MapScene hidden = mapping::SceneOfSessions(sessions, gas, noAlarms);
    EXPECT_TRUE(hidden.spots.empty());
    ASSERT_EQ(hidden.markers.size(), 1u);
    EXPECT_EQ(hidden.markers[0].kind, mapping::MarkerKind::GpsAverage);
}

} // namespace
