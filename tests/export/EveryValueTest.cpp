// An instrument with several sensors of one gas and unit: every reading and every test result of
// its session reaches every format under a name of its own, read back by this program's readers
// and by readers of their own (Python's csv module, GDAL, xmllint).
#include "ExportSupport.h"
#include "export/SessionExport.h"
#include "recbuild/RecordBuilder.h"
#include "testsupport/EnvGuard.h"
#include "testsupport/Files.h"
#include "testsupport/InstrumentStamp.h"
#include "testsupport/TempDir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using R = RecordBuilder;
using exporttest::Column;
using exporttest::Join;
using exporttest::ReadCsv;

// Ten sensors whose names repeat, in the instrument's order, with the alarm's and the timed
// reading's values: twenty distinct numbers.
struct Sensor {
    uint8_t code;
    const char* column;  // CSV column and GeoJSON property
    const char* element; // GPX extension element
    int16_t alarmRaw;
    const char* alarm;
    int16_t timedRaw;
    const char* timed;
};
const Sensor kSensors[] = {
    {0, "LEL (% LEL)", "LEL_pct_LEL", 12, "1.2", 21, "2.1"},
    {4, "CO (ppm)", "CO_ppm", 31, "31", 41, "41"},
    {4, "CO (ppm) 2", "CO_ppm_2", 32, "32", 42, "42"},
    {1, "GAS (% gas)", "GAS_pct_gas", 14, "1.4", 24, "2.4"},
    {1, "GAS (% gas) 2", "GAS_pct_gas_2", 15, "1.5", 25, "2.5"},
    {3, "O2 (%)", "O2_pct", 206, "20.6", 199, "19.9"},
    {4, "CO (ppm) 3", "CO_ppm_3", 34, "34", 44, "44"},
    {5, "H2S (ppm)", "H2S_ppm", 7, "7", 8, "8"},
    {2, "PPM (ppm)", "PPM_ppm", 88, "88", 98, "98"},
    {6, "PPM (ppm) 2", "PPM_ppm_2", 89, "89", 99, "99"},
};
constexpr size_t kSensorCount = sizeof kSensors / sizeof kSensors[0];

// The test records' sensor cells, as the CSV must hold them: gas (with the unit of the values where
// the record states their scale), result, value, second value. Each sensor under its number, the
// order the records list them in: the two CO sensors, O2, H2S, and the LEL only the field
// calibration names; a record that leaves a sensor out leaves its cells empty.
constexpr size_t kTestedSensors = 5;
struct TestRow {
    const char* kind;
    std::vector<std::vector<std::string>> sensors;
};
const TestRow kTestRows[] = {
    {"calibration",
     {{"CO (ppm)", "PASS", "100", "99"},
      {"CO (ppm)", "FAIL", "100", "80"},
      {"O2 (%)", "PASS", "20.9", "20.8"},
      {"H2S (ppm)", "Not Tested", "", ""},
      {"", "", "", ""}}},
    {"bump test",
     {{"CO (ppm)", "PASS", "51", ""},
      {"CO (ppm)", "FAIL", "12", ""},
      {"", "", "", ""},
      {"H2S (ppm)", "Not Tested", "", ""},
      {"", "", "", ""}}},
    // Two numbers whose scale the record never states: the gas without a unit.
    {"field calibration",
     {{"", "", "", ""},
      {"", "", "", ""},
      {"", "", "", ""},
      {"", "", "", ""},
      {"LEL", "", "500", "495"}}},
};

class EveryValueTest : public ::testing::Test {
protected:
    testsupport::ZoneGuard zone{"Europe/London"};
    const uint32_t start = testsupport::InstrumentStamp(2026, 3, 2, 8, 0, 0);
    const GpsFix london = GpsFix::At(true, 5130, 0, false, 6, 6000, 2);
    const GpsFix sydney = GpsFix::At(false, 3351, 6000, true, 15112, 3000, 1);
    std::string modes[4] = {"Leak Survey", "", "", ""};
    exporttest::Streams source;

    static std::vector<uint8_t> WithReadings(RecordBuilder record, bool alarm, const GpsFix& fix) {
        for (const Sensor& sensor : kSensors) {
            record.Reading(sensor.code, alarm ? sensor.alarmRaw : sensor.timedRaw);
        }
        return record.Byte(R::kGpsFollows).Gps(fix).Bytes();
    }

    std::vector<SessionValues> Sessions() {
        source.streams[12] = Join({
            R::Stamped('O', '1', start).Chars("GAS", 3).Bytes(),
            WithReadings(R::Stamped('A', '2', start + 1).Byte(4), true, london),
            WithReadings(R::Stamped('L', '2', start + 2), false, sydney),
            R::Stamped('W', '3', start + 3).S16(77).Gps(london).Bytes(),
            R::Stamped('C', '2', start + 4)
                .SensorResult(4, 1, 100, 99)
                .SensorResult(4, 2, 100, 80)
                .SensorResult(3, 1, 209, 208)
                .SensorResult(5, 3, 0, 0)
                .Byte(R::kSensorListEnd)
                .Bytes(),
            R::Stamped('B', '2', start + 5)
                .BumpResult(4, 1, 51)
                .BumpResult(4, 2, 12)
                .BumpResult(5, 3, 0)
                .Byte(R::kSensorListEnd)
                .Bytes(),
            R::Stamped('F', '1', start + 6)
                .SensorValues(0, 500, 495)
                .Byte(R::kSensorListEnd)
                .Bytes(),
            // Five more numbers follow the list, the last of them over range ("EEEE").
            R::Stamped('L', '4', start + 7)
                .Byte('1')
                .Readings({{0, 5}, {4, 6}}, R::kGpsFollows)
                .S16(56)
                .S16(96)
                .S16(327)
                .S16(-3)
                .S16(10000)
                .Bytes(),
        });
        return {DecodeSessionValues(source, 12, modes)};
    }

    QByteArray Export(ExportFormat format) {
        return ExportSessions(Sessions(), format, LogFilter());
    }
};

using Rows = std::vector<std::vector<std::string>>;
// Per feature or waypoint: field -> value as its reader gives it.
using Features = std::vector<std::map<std::string, std::string>>;

// The rows by column name, each row checked for one cell per column and the header for names
// that never repeat.
Features RowsByName(const Rows& rows) {
    Features named;
    for (size_t row = 1; row < rows.size(); ++row) {
        EXPECT_EQ(rows[row].size(), rows[0].size()) << "row " << row;
        named.emplace_back();
        for (size_t i = 0; i < rows[0].size() && i < rows[row].size(); ++i) {
            EXPECT_TRUE(named.back().emplace(rows[0][i], rows[row][i]).second) << rows[0][i];
        }
    }
    return named;
}

// The survey's reading is in parts per million: the first PPM column's.
std::string Surveyed(const Sensor& sensor) {
    return sensor.column == std::string("PPM (ppm)") ? "77" : "";
}

std::string SensorColumn(size_t position, const char* what) {
    return "sensor " + std::to_string(position + 1) + " " + what;
}

// The timed reading's five numbers after its list, as the report prints them after its gases
// (" 56 96 327 0 EEEE"): the negative one as the record holds it, the over-range one as no number.
const char* const kExtraColumns[] = {"extra reading 1", "extra reading 2", "extra reading 3",
                                     "extra reading 4", "extra reading 5"};
const char* const kExtraValues[] = {"56", "96", "327", "-3", ""};

void ExpectCsv(const Rows& rows) {
    ASSERT_EQ(rows.size(), 9u); // header, eight records
    const std::vector<std::string>& header = rows[0];
    ASSERT_EQ(header.size(), 4 + kSensorCount + 5 + 1 + 4 * kTestedSensors + 4);
    // The readings in the instrument's order after the first four columns, then the five extra
    // readings and what is over range; the tested sensors before the last four.
    for (size_t i = 0; i < kSensorCount; ++i) {
        EXPECT_EQ(header[4 + i], kSensors[i].column);
    }
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(header[4 + kSensorCount + i], kExtraColumns[i]);
    }
    EXPECT_EQ(header[4 + kSensorCount + 5], "over range");
    EXPECT_EQ(header[4 + kSensorCount + 6], "sensor 1 gas");
    EXPECT_EQ(header[header.size() - 4], "latitude");

    const Features named = RowsByName(rows);
    const char* const kinds[] = {"alarm", "timed", "survey"};
    for (size_t r = 0; r < 3; ++r) {
        EXPECT_EQ(named[r + 1].at("kind"), kinds[r]);
        for (const Sensor& sensor : kSensors) {
            const std::string expected = r == 0   ? sensor.alarm
                                         : r == 1 ? sensor.timed
                                                  : Surveyed(sensor);
            EXPECT_EQ(named[r + 1].at(sensor.column), expected) << kinds[r] << sensor.column;
        }
    }
    for (size_t r = 0; r < 3; ++r) {
        const Features::value_type& row = named[r + 4];
        EXPECT_EQ(row.at("kind"), kTestRows[r].kind);
        EXPECT_EQ(row.at("detail"), "") << "results in their own columns only";
        const char* const cells[] = {"gas", "result", "value", "second value"};
        for (size_t s = 0; s < kTestedSensors; ++s) {
            for (size_t c = 0; c < 4; ++c) {
                EXPECT_EQ(row.at(SensorColumn(s, cells[c])), kTestRows[r].sensors[s][c])
                    << kTestRows[r].kind << " " << SensorColumn(s, cells[c]);
            }
        }
    }
    EXPECT_EQ(named[7].at("LEL (% LEL)"), "0.5");
    EXPECT_EQ(named[7].at("detail"), "Methane");
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(named[7].at(kExtraColumns[i]), kExtraValues[i]) << kExtraColumns[i];
        EXPECT_EQ(named[1].at(kExtraColumns[i]), "") << "the alarm has none";
    }
    EXPECT_EQ(named[7].at("over range"), "extra reading 5");
    EXPECT_EQ(named[1].at("over range"), "");
}

// The alarm, the timed reading and the survey, in that order, each with every reading of its
// own under the name the format gives it (prefix: what the reader puts before GPX elements).
void ExpectLocated(const Features& features, bool gpx, const std::string& prefix) {
    ASSERT_EQ(features.size(), 3u);
    for (const Sensor& sensor : kSensors) {
        const std::string name = prefix + (gpx ? sensor.element : sensor.column);
        const std::string expected[] = {sensor.alarm, sensor.timed, Surveyed(sensor)};
        for (size_t f = 0; f < 3; ++f) {
            const auto found = features[f].find(name);
            if (expected[f].empty()) {
                EXPECT_EQ(found, features[f].end()) << name;
            } else if (found == features[f].end()) {
                ADD_FAILURE() << "feature " << f << " has no " << name;
            } else {
                EXPECT_DOUBLE_EQ(std::stod(found->second), std::stod(expected[f])) << name;
            }
        }
    }
}

TEST_F(EveryValueTest, EveryValueReadBackFromEveryFormat) {
    ExpectCsv(ReadCsv(Export(ExportFormat::Csv).toStdString()));

    Features properties;
    for (const QJsonValue& feature : QJsonDocument::fromJson(Export(ExportFormat::GeoJson))
                                         .object()
                                         .value("features")
                                         .toArray()) {
        properties.emplace_back();
        const QJsonObject object = feature.toObject().value("properties").toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            properties.back()[it.key().toStdString()] = it->toVariant().toString().toStdString();
        }
    }
    ExpectLocated(properties, false, "");

    // The readings of a waypoint stand in its extensions, in a namespace of their own.
    Features waypoints;
    QXmlStreamReader xml(Export(ExportFormat::Gpx));
    bool inExtensions = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("wpt")) {
            waypoints.emplace_back();
        } else if (xml.isStartElement() && inExtensions && !waypoints.empty()) {
            EXPECT_EQ(xml.namespaceUri(), QLatin1String("urn:tavon-datalogging:gpx-readings:1"));
            const std::string name = xml.name().toString().toStdString();
            waypoints.back()[name] = xml.readElementText().toStdString();
        }
        if (xml.name() == QLatin1String("extensions")) {
            inExtensions = xml.isStartElement();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    ExpectLocated(waypoints, true, "");
}

// The reading columns keep the instrument's order when records of fewer sensors come first, and
// the tested sensors' columns are there only when a record the filter shows needs them.
TEST_F(EveryValueTest, ColumnSetFollowsTheInstrumentAndTheFilter) {
    source.streams[12] = Join({
        R::Stamped('W', '3', start).S16(77).Gps(london).Bytes(),
        R::Stamped('L', '4', start + 1).Byte('1').Readings({{0, 5}, {4, 6}}, R::kNoGps).Bytes(),
        WithReadings(R::Stamped('A', '2', start + 2).Byte(4), true, london),
        R::Stamped('B', '2', start + 3).BumpResult(4, 1, 51).Byte(R::kSensorListEnd).Bytes(),
    });
    const std::vector<SessionValues> sessions = {DecodeSessionValues(source, 12, modes)};
    for (const bool showBump : {true, false}) {
        LogFilter filter;
        filter.Bump = showBump;
        std::vector<std::string> expected = {"time", "slot", "kind", "mode"};
        for (const Sensor& sensor : kSensors) {
            expected.push_back(sensor.column);
        }
        if (showBump) {
            expected.insert(expected.end(), {"sensor 1 gas", "sensor 1 result", "sensor 1 value",
                                             "sensor 1 second value"});
        }
        expected.insert(expected.end(), {"latitude", "longitude", "fix quality", "detail"});
        const Rows rows =
            ReadCsv(ExportSessions(sessions, ExportFormat::Csv, filter).toStdString());
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0], expected) << (showBump ? "bump shown" : "bump hidden");
        RowsByName(rows);
    }
}

// An over-range reading (the report's EEEE) is no number in any format: its cell, property or
// element stays empty, null or away, and "over range" names it.
TEST_F(EveryValueTest, OverRangeIsNoNumber) {
    source.streams[12] = Join({
        R::Stamped('A', '2', start)
            .Byte(5)
            .Readings({{4, 30}, {5, 10000}}, R::kGpsFollows)
            .Gps(london)
            .Bytes(),
        R::Stamped('A', '2', start + 1)
            .Byte(4)
            .Readings({{4, 10000}, {5, 9999}}, R::kGpsFollows)
            .Gps(london)
            .Bytes(),
    });
    const std::vector<SessionValues> sessions = {DecodeSessionValues(source, 12, modes)};
    struct Expected {
        const char* co;
        const char* h2s;
        const char* overRange;
    };
    const Expected expected[] = {{"30", "", "H2S (ppm)"}, {"", "9999", "CO (ppm)"}};

    const Features rows =
        RowsByName(ReadCsv(ExportSessions(sessions, ExportFormat::Csv, LogFilter()).toStdString()));
    ASSERT_EQ(rows.size(), 2u);
    for (size_t r = 0; r < 2; ++r) {
        EXPECT_EQ(rows[r].at("CO (ppm)"), expected[r].co) << r;
        EXPECT_EQ(rows[r].at("H2S (ppm)"), expected[r].h2s) << r;
        EXPECT_EQ(rows[r].at("over range"), expected[r].overRange) << r;
        EXPECT_EQ(rows[r].at("detail").find("10000"), std::string::npos) << r;
    }

    const QJsonArray features =
        QJsonDocument::fromJson(ExportSessions(sessions, ExportFormat::GeoJson, LogFilter()))
            .object()
            .value("features")
            .toArray();
    ASSERT_EQ(features.size(), 2);
    for (int f = 0; f < 2; ++f) {
        const QJsonObject properties = features[f].toObject().value("properties").toObject();
        const char* const names[] = {"CO (ppm)", "H2S (ppm)"};
        const char* const values[] = {expected[f].co, expected[f].h2s};
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(properties.contains(names[i])) << names[i];
            if (values[i][0] == '\0') {
                EXPECT_TRUE(properties.value(names[i]).isNull()) << names[i];
            } else {
                EXPECT_EQ(properties.value(names[i]).toDouble(), std::stod(values[i]));
            }
        }
        EXPECT_EQ(properties.value("over range").toString().toStdString(), expected[f].overRange);
    }

    std::vector<std::map<std::string, std::string>> waypoints;
    QXmlStreamReader xml(ExportSessions(sessions, ExportFormat::Gpx, LogFilter()));
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("wpt")) {
            waypoints.emplace_back();
        } else if (xml.isStartElement() && !waypoints.empty() &&
                   xml.namespaceUri() == QLatin1String("urn:tavon-datalogging:gpx-readings:1")) {
            const std::string name = xml.name().toString().toStdString();
            waypoints.back()[name] = xml.readElementText().toStdString();
        } else if (xml.isStartElement() && xml.name() == QLatin1String("desc") &&
                   !waypoints.empty()) {
            waypoints.back()["desc"] = xml.readElementText().toStdString();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    ASSERT_EQ(waypoints.size(), 2u);
    const char* const elements[] = {"CO_ppm", "H2S_ppm"};
    for (size_t w = 0; w < 2; ++w) {
        const char* const values[] = {expected[w].co, expected[w].h2s};
        for (int i = 0; i < 2; ++i) {
            const auto found = waypoints[w].find(elements[i]);
            if (values[i][0] == '\0') {
                EXPECT_EQ(found, waypoints[w].end()) << elements[i];
            } else {
                ASSERT_NE(found, waypoints[w].end()) << elements[i];
                EXPECT_EQ(found->second, values[i]);
            }
        }
        EXPECT_EQ(waypoints[w]["over_range"], expected[w].overRange);
        EXPECT_EQ(waypoints[w]["desc"].find("10000"), std::string::npos) << waypoints[w]["desc"];
    }
}

// Runs a reader of another project; its standard output, or a test failure.
QString RunReader(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// ogrinfo's listing of a layer, its fields by feature.
Features OgrFeatures(const QString& listing) {
    Features features;
    static const QRegularExpression field(QStringLiteral("^  (.+) \\(\\w+\\) = (.*)$"));
    for (const QString& line : listing.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = field.match(line);
        if (line.startsWith(QLatin1String("OGRFeature("))) {
            features.emplace_back();
        } else if (match.hasMatch() && !features.empty()) {
            features.back()[match.captured(1).toStdString()] = match.captured(2).toStdString();
        }
    }
    return features;
}

TEST_F(EveryValueTest, OtherReadersReadEveryValue) {
    for (const char* tool : {"python3", "ogrinfo", "xmllint"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh)";
        }
    }
    testsupport::TempDir dir;
    ASSERT_TRUE(dir.Ok());
    const QString csv = QString::fromStdString(dir.File("out.csv"));
    const QString geojson = QString::fromStdString(dir.File("out.geojson"));
    const QString gpx = QString::fromStdString(dir.File("out.gpx"));
    ASSERT_TRUE(testsupport::WriteFile(csv.toStdString(), Export(ExportFormat::Csv).toStdString()));
    ASSERT_TRUE(
        testsupport::WriteFile(geojson.toStdString(), Export(ExportFormat::GeoJson).toStdString()));
    ASSERT_TRUE(testsupport::WriteFile(gpx.toStdString(), Export(ExportFormat::Gpx).toStdString()));

    const QString rowsJson =
        RunReader(QStringLiteral("python3"),
                  {QStringLiteral("-c"),
                   QStringLiteral("import csv, json, sys\n"
                                  "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                  "    print(json.dumps(list(csv.reader(f))))\n"),
                   csv});
    Rows rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(rowsJson.toUtf8()).array()) {
        rows.emplace_back();
        for (const QJsonValue& cell : row.toArray()) {
            rows.back().push_back(cell.toString().toStdString());
        }
    }
    ExpectCsv(rows);

    const QStringList quiet = {QStringLiteral("-ro"), QStringLiteral("-q")};
    ExpectLocated(OgrFeatures(RunReader(QStringLiteral("ogrinfo"),
                                        quiet + QStringList{QStringLiteral("-al"), geojson})),
                  false, "");
    ExpectLocated(OgrFeatures(RunReader(QStringLiteral("ogrinfo"),
                                        quiet + QStringList{gpx, QStringLiteral("waypoints")})),
                  true, "tavon_");
    RunReader(QStringLiteral("xmllint"), {QStringLiteral("--noout"), gpx});
}

} // namespace
