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

// The located records in stream order: what each reader must give back.
struct Located {
    const char* kind;
    std::map<std::string, std::string> values; // column -> text
    std::map<std::string, std::string> elements;
};

std::vector<Located> ExpectedLocated() {
    Located alarm{"alarm", {}, {}};
    Located timed{"timed", {}, {}};
    for (const Sensor& sensor : kSensors) {
        alarm.values[sensor.column] = sensor.alarm;
        alarm.elements[sensor.element] = sensor.alarm;
        timed.values[sensor.column] = sensor.timed;
        timed.elements[sensor.element] = sensor.timed;
    }
    Located survey{"survey", {{"PPM (ppm)", "77"}}, {{"PPM_ppm", "77"}}};
    return {alarm, timed, survey};
}

// The test records' sensor cells, as the CSV must hold them: gas, result, value, second value.
struct TestRow {
    const char* kind;
    std::vector<std::vector<std::string>> sensors;
};
const TestRow kTestRows[] = {
    {"calibration",
     {{"CO (ppm)", "PASS", "100", "99"},
      {"CO (ppm)", "FAIL", "100", "80"},
      {"O2 (%)", "PASS", "20.9", "20.8"},
      {"H2S (ppm)", "Not Tested", "", ""}}},
    {"bump test",
     {{"CO (ppm)", "PASS", "51", ""},
      {"CO (ppm)", "FAIL", "12", ""},
      {"H2S (ppm)", "Not Tested", "", ""},
      {"", "", "", ""}}},
    {"field calibration",
     {{"LEL (% LEL)", "", "500", "495"}, {"", "", "", ""}, {"", "", "", ""}, {"", "", "", ""}}},
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
            // Five unnamed numbers follow the list: the report shows them, the exports do not.
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

// The CSV's header, then one map of column -> cell per row, the header checked for one name per
// column and the rows for one cell per column.
std::vector<std::map<std::string, std::string>>
RowsByName(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::map<std::string, std::string>> named;
    if (rows.empty()) {
        ADD_FAILURE() << "no header row";
        return named;
    }
    const std::vector<std::string>& header = rows[0];
    for (size_t row = 1; row < rows.size(); ++row) {
        EXPECT_EQ(rows[row].size(), header.size()) << "row " << row;
        std::map<std::string, std::string> cells;
        for (size_t i = 0; i < header.size() && i < rows[row].size(); ++i) {
            EXPECT_TRUE(cells.emplace(header[i], rows[row][i]).second) << "twice: " << header[i];
        }
        named.push_back(cells);
    }
    return named;
}

std::string SensorColumn(size_t position, const char* what) {
    return "sensor " + std::to_string(position + 1) + " " + what;
}

void ExpectCsvRows(const std::vector<std::vector<std::string>>& rows) {
    ASSERT_EQ(rows.size(), 9u); // header, eight records
    const std::vector<std::string>& header = rows[0];
    // The readings in the instrument's order after the first four columns, then the test
    // sensors, then what the format held before.
    for (size_t i = 0; i < kSensorCount; ++i) {
        ASSERT_GT(header.size(), 4 + i);
        EXPECT_EQ(header[4 + i], kSensors[i].column);
    }
    const std::vector<std::string> tail(header.end() - 4, header.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"latitude", "longitude", "fix quality", "detail"}));
    EXPECT_EQ(header.size(), 4 + kSensorCount + 4 * 4 + 4);

    const auto named = RowsByName(rows);
    const std::vector<Located> located = ExpectedLocated();
    const size_t locatedRows[] = {1, 2, 3};
    for (size_t i = 0; i < located.size(); ++i) {
        const auto& row = named[locatedRows[i]];
        EXPECT_EQ(row.at("kind"), located[i].kind);
        for (const Sensor& sensor : kSensors) {
            const auto expected = located[i].values.find(sensor.column);
            EXPECT_EQ(row.at(sensor.column),
                      expected == located[i].values.end() ? "" : expected->second)
                << located[i].kind << " " << sensor.column;
        }
    }
    const size_t testRows[] = {4, 5, 6};
    for (size_t i = 0; i < 3; ++i) {
        const auto& row = named[testRows[i]];
        EXPECT_EQ(row.at("kind"), kTestRows[i].kind);
        EXPECT_EQ(row.at("detail"), "") << "results in their own columns only";
        for (size_t s = 0; s < kTestRows[i].sensors.size(); ++s) {
            const std::vector<std::string>& cells = kTestRows[i].sensors[s];
            EXPECT_EQ(row.at(SensorColumn(s, "gas")), cells[0]) << kTestRows[i].kind << s;
            EXPECT_EQ(row.at(SensorColumn(s, "result")), cells[1]) << kTestRows[i].kind << s;
            EXPECT_EQ(row.at(SensorColumn(s, "value")), cells[2]) << kTestRows[i].kind << s;
            EXPECT_EQ(row.at(SensorColumn(s, "second value")), cells[3]) << kTestRows[i].kind << s;
        }
    }
    const auto& extra = named[7];
    EXPECT_EQ(extra.at("LEL (% LEL)"), "0.5");
    EXPECT_EQ(extra.at("CO (ppm)"), "6");
    EXPECT_EQ(extra.at("detail"), "methane");
}

TEST_F(EveryValueTest, CsvHasAColumnPerSensorAndPerTestedSensor) {
    ExpectCsvRows(ReadCsv(Export(ExportFormat::Csv).toStdString()));
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
    const std::vector<std::string> tested = {"sensor 1 gas", "sensor 1 result", "sensor 1 value",
                                             "sensor 1 second value"};
    for (const bool showBump : {true, false}) {
        LogFilter filter;
        filter.Bump = showBump;
        std::vector<std::string> expected = {"time", "session", "kind", "mode"};
        for (const Sensor& sensor : kSensors) {
            expected.push_back(sensor.column);
        }
        if (showBump) {
            expected.insert(expected.end(), tested.begin(), tested.end());
        }
        expected.insert(expected.end(), {"latitude", "longitude", "fix quality", "detail"});
        const auto rows =
            ReadCsv(ExportSessions(sessions, ExportFormat::Csv, filter).toStdString());
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0], expected) << (showBump ? "bump shown" : "bump hidden");
        RowsByName(rows);
    }
}

TEST_F(EveryValueTest, GeoJsonHasAPropertyPerSensor) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(Export(ExportFormat::GeoJson), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonArray features = doc.object().value("features").toArray();
    const std::vector<Located> located = ExpectedLocated();
    ASSERT_EQ(static_cast<size_t>(features.size()), located.size());
    for (size_t i = 0; i < located.size(); ++i) {
        const QJsonObject properties =
            features[static_cast<int>(i)].toObject().value("properties").toObject();
        EXPECT_EQ(properties.value("kind").toString().toStdString(), located[i].kind);
        for (const Sensor& sensor : kSensors) {
            const auto expected = located[i].values.find(sensor.column);
            if (expected == located[i].values.end()) {
                EXPECT_FALSE(properties.contains(sensor.column)) << sensor.column;
            } else {
                EXPECT_DOUBLE_EQ(properties.value(sensor.column).toDouble(-1),
                                 std::stod(expected->second))
                    << located[i].kind << " " << sensor.column;
            }
        }
    }
}

TEST_F(EveryValueTest, GpxWaypointsCarryAnExtensionPerSensor) {
    QXmlStreamReader xml(Export(ExportFormat::Gpx));
    std::vector<std::map<std::string, std::string>> waypoints;
    bool inExtensions = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString name = xml.name().toString();
            if (name == "wpt") {
                waypoints.emplace_back();
            } else if (name == "extensions") {
                inExtensions = true;
            } else if (inExtensions && !waypoints.empty()) {
                EXPECT_NE(xml.namespaceUri().toString().toStdString(),
                          "http://www.topografix.com/GPX/1/1")
                    << "extensions belong to another namespace";
                waypoints.back()[name.toStdString()] = xml.readElementText().toStdString();
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("extensions")) {
            inExtensions = false;
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    const std::vector<Located> located = ExpectedLocated();
    ASSERT_EQ(waypoints.size(), located.size());
    for (size_t i = 0; i < located.size(); ++i) {
        EXPECT_EQ(waypoints[i], located[i].elements) << located[i].kind;
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

// ogrinfo's listing of a layer: one map of field -> value per feature.
std::vector<std::map<std::string, std::string>> OgrFeatures(const QString& listing) {
    std::vector<std::map<std::string, std::string>> features;
    static const QRegularExpression field(QStringLiteral("^  (.+) \\(\\w+\\) = (.*)$"));
    for (const QString& line : listing.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("OGRFeature("))) {
            features.emplace_back();
            continue;
        }
        const QRegularExpressionMatch match = field.match(line);
        if (match.hasMatch() && !features.empty()) {
            features.back()[match.captured(1).toStdString()] = match.captured(2).toStdString();
        }
    }
    return features;
}

void ExpectOgrValues(const std::vector<std::map<std::string, std::string>>& features, bool gpx) {
    const std::vector<Located> located = ExpectedLocated();
    ASSERT_EQ(features.size(), located.size());
    for (size_t i = 0; i < located.size(); ++i) {
        const auto& expected = gpx ? located[i].elements : located[i].values;
        for (const auto& [name, text] : expected) {
            const std::string field = gpx ? "tavon_" + name : name;
            const auto found = features[i].find(field);
            ASSERT_NE(found, features[i].end()) << located[i].kind << " has no " << field;
            EXPECT_DOUBLE_EQ(std::stod(found->second), std::stod(text))
                << located[i].kind << " " << field;
        }
    }
}

TEST_F(EveryValueTest, OtherReadersReadEveryValue) {
    for (const char* tool : {"python3", "ogrinfo", "xmllint"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh)";
        }
    }
    testsupport::TempDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::string csv = dir.File("out.csv");
    const std::string geojson = dir.File("out.geojson");
    const std::string gpx = dir.File("out.gpx");
    ASSERT_TRUE(testsupport::WriteFile(csv, Export(ExportFormat::Csv).toStdString()));
    ASSERT_TRUE(testsupport::WriteFile(geojson, Export(ExportFormat::GeoJson).toStdString()));
    ASSERT_TRUE(testsupport::WriteFile(gpx, Export(ExportFormat::Gpx).toStdString()));

    // Python's csv module gives its rows back as JSON.
    const QString rowsJson =
        RunReader(QStringLiteral("python3"),
                  {QStringLiteral("-c"),
                   QStringLiteral("import csv, json, sys\n"
                                  "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                  "    print(json.dumps(list(csv.reader(f))))\n"),
                   QString::fromStdString(csv)});
    std::vector<std::vector<std::string>> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(rowsJson.toUtf8()).array()) {
        rows.emplace_back();
        for (const QJsonValue& cell : row.toArray()) {
            rows.back().push_back(cell.toString().toStdString());
        }
    }
    ExpectCsvRows(rows);

    const QStringList listing = {QStringLiteral("-ro"), QStringLiteral("-q")};
    ExpectOgrValues(OgrFeatures(RunReader(QStringLiteral("ogrinfo"),
                                          listing + QStringList{QStringLiteral("-al"),
                                                                QString::fromStdString(geojson)})),
                    false);
    ExpectOgrValues(OgrFeatures(RunReader(QStringLiteral("ogrinfo"),
                                          listing + QStringList{QString::fromStdString(gpx),
                                                                QStringLiteral("waypoints")})),
                    true);
    RunReader(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QString::fromStdString(gpx)});
}

} // namespace
