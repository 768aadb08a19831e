// tavon-datalog map, archive map and archive survey on the simulated instrument's memory, run as
// processes without a display: the pictures read back with Qt's image reader and poppler's
// pdftoppm and looked at where the sessions' positions fall, the records compared with survey's.
#include "TileFile.h"
#include "core/LogImage.h"
#include "map/MapPicture.h"
#include "map/SessionMap.h"
#include "sim/LogMemory.h"
#include "testsupport/Files.h"
#include "testsupport/Processes.h"
#include "testsupport/TempDir.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using testsupport::RunResult;

const QSize kSize(640, 480);

class MapCommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new testsupport::TempDir("tavon-map-cli-");
        ASSERT_TRUE(dir->Ok());
        sim::LogMemory memory;
        ASSERT_TRUE(memory.Generate(sim::MemoryOptions()));
        std::string error;
        ASSERT_TRUE(memory.WriteDump(dir->File("FlashData.txt"), error)) << error;
        image = new LogImage();
        std::string message;
        ASSERT_EQ(image->LoadDump(dir->File("FlashData.txt").c_str(), message), 1) << message;
        // The first session with a track to draw.
        for (const sim::GeneratedSession& generated : memory.Sessions()) {
            const std::string none[4];
            const int16_t each = static_cast<int16_t>(generated.slot);
            if (!TrackPieces(DecodeSessionValues(*image, each, none)).empty()) {
                slot = each;
                break;
            }
        }
        ASSERT_GE(slot, 0);
    }
    static void TearDownTestSuite() {
        delete image;
        delete dir;
    }

    static RunResult Datalog(const std::vector<std::string>& args) {
        return testsupport::RunProgram(
            "tavon-datalog", args, dir->Path(), 180,
            {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "TZ=UTC", "LC_ALL=C"});
    }

    static std::vector<SessionValues> Decoded() {
        const std::string none[4];
        return {DecodeSessionValues(*image, slot, none)};
    }
    static std::vector<mapping::MapGas> Gases() {
        return mapping::GasesWithPlaces(Decoded(), LogFilter());
    }

    // The scene of the session, as the program makes it.
    static mapping::MapScene Scene(const std::string& gas = std::string()) {
        mapping::MapGas chosen;
        EXPECT_TRUE(mapping::ChooseMapGas(Gases(), gas, chosen));
        return mapping::SceneOfSessions(Decoded(), chosen, LogFilter());
    }

    static std::string Slot() { return std::to_string(slot); }

    static testsupport::TempDir* dir;
    static LogImage* image;
    static int16_t slot;
};

testsupport::TempDir* MapCommandTest::dir = nullptr;
LogImage* MapCommandTest::image = nullptr;
int16_t MapCommandTest::slot = -1;

// How many of the track's coloured positions show their reading's colour at their middle (within
// `tolerance` in each channel), out of how many. A marker or a later dot may cover a few.
std::pair<int, int> TrackPixels(const QImage& picture, const mapping::MapScene& scene,
                                int tolerance) {
    const mapping::MapView view = mapping::FitScene(scene, QSizeF(kSize));
    const mapping::ReadingRange range = mapping::RangeOf(scene);
    const mapping::WorldPoint centre = mapping::ToWorld(view.centre, view.zoom);
    int shown = 0;
    int coloured = 0;
    for (const mapping::TrackPiece& piece : scene.pieces) {
        for (const mapping::TrackPoint& point : piece.points) {
            if (!point.hasValue) {
                continue;
            }
            ++coloured;
            const mapping::WorldPoint world = mapping::ToWorld(point.position, view.zoom);
            const QPointF at = QRectF(QPointF(0, 0), QSizeF(kSize)).center() +
                               QPointF(world.x - centre.x, world.y - centre.y);
            const QColor expected = point.overRange ? mapping::OverRangeColour()
                                                    : mapping::ReadingColour(point.value, range);
            const QColor got = picture.pixelColor(static_cast<int>(std::floor(at.x())),
                                                  static_cast<int>(std::floor(at.y())));
            shown += std::abs(got.red() - expected.red()) <= tolerance &&
                             std::abs(got.green() - expected.green()) <= tolerance &&
                             std::abs(got.blue() - expected.blue()) <= tolerance
                         ? 1
                         : 0;
        }
    }
    return {shown, coloured};
}

TEST_F(MapCommandTest, PngHasTheAskedSizeAndTheTrackWhereItsPositionsFall) {
    const RunResult r =
        Datalog({"map", "FlashData.txt", Slot(), "-o", "map.png", "--size", "640x480"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QImage picture(QString::fromStdString(dir->File("map.png")));
    ASSERT_EQ(picture.size(), kSize);
    const auto [shown, coloured] = TrackPixels(picture, Scene(), 0);
    EXPECT_GE(coloured, 3);
    EXPECT_GE(shown * 2, coloured) << shown << " of " << coloured;

    // Another gas colours the same positions by its own readings.
    const std::vector<mapping::MapGas> gases = Gases();
    ASSERT_GE(gases.size(), 1u);
    const std::string last = gases.back().name;
    const RunResult other = Datalog(
        {"map", "FlashData.txt", Slot(), "-o", "other.png", "--size", "640x480", "--gas", last});
    ASSERT_EQ(other.status, 0) << other.err;
    const auto [otherShown, otherColoured] =
        TrackPixels(QImage(QString::fromStdString(dir->File("other.png"))), Scene(last), 0);
    EXPECT_GE(otherShown * 2, otherColoured) << last;
}

TEST_F(MapCommandTest, PdfIsOnePageOfTheSizeWithTheTrack) {
    const RunResult r =
        Datalog({"map", "FlashData.txt", Slot(), "-o", "map.pdf", "--size", "640x480"});
    ASSERT_EQ(r.status, 0) << r.err;
    QProcess info;
    info.start("pdfinfo", {QString::fromStdString(dir->File("map.pdf"))});
    ASSERT_TRUE(info.waitForFinished(60000) && info.exitCode() == 0);
    const std::string text =
        QString::fromUtf8(info.readAllStandardOutput()).simplified().toStdString();
    EXPECT_NE(text.find("Pages: 1 "), std::string::npos) << text;
    EXPECT_NE(text.find("Page size: 640 x 480 pts"), std::string::npos) << text;

    // Rendered at 72 dots per inch, a point a pixel: the page as the PNG lays it out.
    QProcess render;
    render.start("pdftoppm",
                 {"-r", "72", "-singlefile", "-png", QString::fromStdString(dir->File("map.pdf")),
                  QString::fromStdString(dir->File("page"))});
    ASSERT_TRUE(render.waitForFinished(60000) && render.exitCode() == 0);
    const QImage page(QString::fromStdString(dir->File("page.png")));
    ASSERT_EQ(page.size(), kSize);
    const auto [shown, coloured] = TrackPixels(page, Scene(), 24);
    EXPECT_GE(shown * 2, coloured) << shown << " of " << coloured;
}

TEST_F(MapCommandTest, AnUnknownGasIsRefusedNamingTheGasesThereAre) {
    const RunResult r = Datalog({"map", "FlashData.txt", Slot(), "-o", "gas.png", "--gas", "XYZ"});
    EXPECT_EQ(r.status, 2);
    std::string named;
    for (const mapping::MapGas& gas : Gases()) {
        named += (named.empty() ? "" : ", ") + mapping::MapGasText(gas);
    }
    EXPECT_NE(r.err.find("tavon-datalog: the sessions have no reading of \"XYZ\" at a place; the "
                         "gases read at a place: " +
                         named + "\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(testsupport::FileExists(dir->File("gas.png")));
}

TEST_F(MapCommandTest, ABrokenTileStoreGivesTheGridAndOneMessage) {
    ASSERT_TRUE(testsupport::WriteFile(dir->File("broken.mbtiles"), "not a database"));
    const RunResult plain = Datalog({"map", "FlashData.txt", Slot(), "-o", "plain.png"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    for (const char* store : {"broken.mbtiles", "missing.mbtiles"}) {
        const RunResult r =
            Datalog({"map", "FlashData.txt", Slot(), "-o", "tiled.png", "--tiles", store});
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string line = std::string("tavon-datalog: The tile store ") + store;
        const size_t at = r.err.find(line);
        ASSERT_NE(at, std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("tavon-datalog:", at + 1), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("grid", at), std::string::npos) << r.err;
        // The grid, as without a store.
        EXPECT_TRUE(testsupport::ReadFile(dir->File("tiled.png")) ==
                    testsupport::ReadFile(dir->File("plain.png")))
            << store;
    }
}

// A street store ends at zoom 14; a survey of tens of metres is drawn far deeper, on the store's
// tiles scaled up, not on the grid.
TEST_F(MapCommandTest, AStoreEndingAtZoom14IsDrawnUnderASurveyDrawnDeeper) {
    const mapping::MapScene scene = Scene();
    const mapping::MapView view = mapping::FitScene(scene, QSizeF(kSize));
    ASSERT_GT(view.zoom, 14);
    const QColor streets(170, 210, 240);
    const mapping::TileIndex middle = mapping::TileAt(view.centre, 14);
    std::vector<TestTile> tiles;
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
            tiles.push_back({14, middle.x + dx, middle.y + dy, streets});
        }
    }
    ASSERT_TRUE(WriteTileFile(QString::fromStdString(dir->File("streets14.mbtiles")), "(c) Streets",
                              tiles));
    const QImage grid = [] {
        const RunResult r =
            Datalog({"map", "FlashData.txt", Slot(), "-o", "grid14.png", "--size", "640x480"});
        EXPECT_EQ(r.status, 0) << r.err;
        return QImage(QString::fromStdString(dir->File("grid14.png")));
    }();
    const RunResult r = Datalog({"map", "FlashData.txt", Slot(), "-o", "streets14.png", "--size",
                                 "640x480", "--tiles", "streets14.mbtiles"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("tile store"), std::string::npos) << r.err;
    const QImage tiled(QString::fromStdString(dir->File("streets14.png")));
    ASSERT_EQ(tiled.size(), kSize);
    auto share = [&streets](const QImage& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                count += image.pixelColor(x, y) == streets ? 1 : 0;
            }
        }
        return static_cast<double>(count) / (image.width() * image.height());
    };
    EXPECT_GT(share(tiled), 0.5);
    EXPECT_EQ(share(grid), 0.0);
}

// The survey record of archived sessions is the dump's, the instrument named as the archive knows
// it and the register's status at switch-on beside it; the search finds the same sessions.
TEST_F(MapCommandTest, ArchiveSurveyAndMapAreTheDumpsWithTheArchivesInstrument) {
    const std::string archive = dir->File("archive.sqlite");
    RunResult r = Datalog(
        {"archive", "import", "--archive", archive, "--instrument", "unit 7", "FlashData.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Datalog({"archive", "list", "--archive", archive, "--format", "json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const QJsonArray listed = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    // The day of the session with a track, and its sessions in the order the listing has them.
    QString day;
    for (const QJsonValue& value : listed) {
        if (value.toObject()["slot"].toInt() == slot) {
            day = value.toObject()["day"].toString();
        }
    }
    ASSERT_FALSE(day.isEmpty());
    std::vector<std::string> ids;
    std::vector<std::string> slotWords;
    for (const QJsonValue& value : listed) {
        if (value.toObject()["day"].toString() == day) {
            ids.push_back(std::to_string(value.toObject()["id"].toInt()));
            slotWords.push_back(std::to_string(value.toObject()["slot"].toInt()));
        }
    }

    std::vector<std::string> archived = {"archive", "survey",   "--archive",
                                         archive,   "--format", "json"};
    archived.insert(archived.end(), ids.begin(), ids.end());
    const RunResult byId = Datalog(archived);
    ASSERT_EQ(byId.status, 0) << byId.err;
    const RunResult bySearch =
        Datalog({"archive", "survey", "--archive", archive, "--format", "json", "--from",
                 day.toStdString(), "--to", day.toStdString(), "--instrument", "unit 7"});
    ASSERT_EQ(bySearch.status, 0) << bySearch.err;
    EXPECT_EQ(bySearch.out, byId.out);
    std::vector<std::string> direct = {"survey", "FlashData.txt", "--format", "json"};
    direct.insert(direct.end(), slotWords.begin(), slotWords.end());
    const RunResult fromDump = Datalog(direct);
    ASSERT_EQ(fromDump.status, 0) << fromDump.err;

    // What the register says of the instrument at the end of that day.
    r = Datalog({"archive", "compliance", "--archive", archive, "--at", day.toStdString(),
                 "--format", "json"});
    const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    ASSERT_FALSE(rows.isEmpty()) << r.out << r.err;
    const QString status = rows[0].toObject()["instrument_status"].toString();
    ASSERT_FALSE(status.isEmpty());

    QJsonArray fromArchive = QJsonDocument::fromJson(QByteArray::fromStdString(byId.out)).array();
    QJsonArray dumped = QJsonDocument::fromJson(QByteArray::fromStdString(fromDump.out)).array();
    ASSERT_EQ(fromArchive.size(), static_cast<int>(ids.size()));
    ASSERT_EQ(dumped.size(), fromArchive.size());
    for (int i = 0; i < fromArchive.size(); ++i) {
        QJsonObject archivedSession = fromArchive[i].toObject();
        QJsonObject dumpedSession = dumped[i].toObject();
        EXPECT_EQ(archivedSession["instrument"].toString(), "unit 7");
        EXPECT_EQ(archivedSession["register_status"].toString(), status);
        EXPECT_EQ(dumpedSession["instrument"].toString(), "");
        EXPECT_TRUE(dumpedSession["register_status"].isNull());
        for (const char* key : {"instrument", "register_status"}) {
            archivedSession.remove(key);
            dumpedSession.remove(key);
        }
        EXPECT_EQ(archivedSession, dumpedSession) << i;
    }

    // The map of an archived session is the dump's, byte for byte.
    r = Datalog({"archive", "map", "--archive", archive, "-o", "archived.png", "--size", "640x480",
                 ids.front()});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Datalog(
        {"map", "FlashData.txt", slotWords.front(), "-o", "dumped.png", "--size", "640x480"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(testsupport::ReadFile(dir->File("archived.png")) ==
                testsupport::ReadFile(dir->File("dumped.png")));
    EXPECT_EQ(
        Datalog({"archive", "map", "--archive", archive, "-o", "both.png", "--cal", ids.front()})
            .status,
        2);
    EXPECT_FALSE(testsupport::FileExists(dir->File("both.png")));
}

// One session in every output that names it: to people by its instrument, day and start as the
// tree shows them, and wherever a number is printed, that number labelled for which it is (its
// slot in the instrument, its id in the archive), never as a bare "session".
TEST_F(MapCommandTest, EveryOutputNamesASessionAsTheTreeDoesAndSaysWhichNumberItPrints) {
    const std::string archive = dir->File("named.sqlite");
    RunResult r = Datalog(
        {"archive", "import", "--archive", archive, "--instrument", "unit 7", "FlashData.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Datalog({"archive", "list", "--archive", archive, "--format", "json"});
    QJsonObject listed;
    for (const QJsonValue& value :
         QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array()) {
        listed = value.toObject()["slot"].toInt() == slot ? value.toObject() : listed;
    }
    ASSERT_FALSE(listed.isEmpty()) << r.out;
    const std::string id = std::to_string(listed["id"].toInt());
    ASSERT_NE(id, Slot()) << "a slot and an id that cannot be told apart";
    // The start as the tree shows it: "    slot N: HH:MM:SS".
    r = Datalog({"sessions", "FlashData.txt"});
    const std::string nodeMark = "\n    slot " + Slot() + ": ";
    const size_t node = r.out.find(nodeMark);
    ASSERT_NE(node, std::string::npos) << r.out;
    const std::string start = r.out.substr(node + nodeMark.size(), 8);
    ASSERT_EQ(start, listed["start"].toString().toStdString());
    const std::string day = listed["day"].toString().toStdString();
    const std::string named = day + " " + start + " (slot " + Slot() + ")\n";

    const auto firstLine = [](const std::string& out) { return out.substr(0, out.find('\n') + 1); };
    const auto json = [](const std::string& out) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(out));
    };
    const auto numbered = [&](const QJsonObject& o, const char* key, const std::string& number) {
        return o.contains("session")                      ? std::string("a bare \"session\" key")
               : std::to_string(o[key].toInt()) != number ? std::string(key) + " is not " + number
                                                          : std::string();
    };
    const struct {
        std::vector<std::string> args;
        std::function<std::string(const std::string&)> wrong; // empty when right
    } outputs[] = {
        {{"survey", "FlashData.txt", Slot()},
         [&](const std::string& out) { return firstLine(out) == named ? "" : firstLine(out); }},
        {{"archive", "survey", "--archive", archive, id},
         [&](const std::string& out) {
             return firstLine(out) == "unit 7, " + named ? "" : firstLine(out);
         }},
        {{"survey", "FlashData.txt", Slot(), "--format", "json"},
         [&](const std::string& out) { return numbered(json(out)[0].toObject(), "slot", Slot()); }},
        {{"survey", "FlashData.txt", Slot(), "--format", "csv"},
         [&](const std::string& out) { return out.rfind("slot,instrument,", 0) == 0 ? "" : out; }},
        {{"export", "FlashData.txt", Slot(), "--format", "csv"},
         [&](const std::string& out) {
             return out.rfind("time,slot,kind,", 0) == 0 &&
                            out.find("," + Slot() + ",", out.find('\n')) != std::string::npos
                        ? ""
                        : firstLine(out);
         }},
        {{"export", "FlashData.txt", Slot(), "--format", "geojson"},
         [&](const std::string& out) {
             return numbered(json(out)["features"][0]["properties"].toObject(), "slot", Slot());
         }},
        {{"archive", "export", "--archive", archive, "--format", "geojson", id},
         [&](const std::string& out) {
             return numbered(json(out)["features"][0]["properties"].toObject(), "slot", Slot());
         }},
        {{"archive", "events", "--archive", archive, "--format", "json"},
         [&](const std::string& out) {
             const QJsonArray events = json(out).array();
             return events.isEmpty() ? std::string("no events")
                                     : numbered(events[0].toObject(), "session_id",
                                                std::to_string(events[0]["session_id"].toInt()));
         }},
    };
    for (const auto& output : outputs) {
        const RunResult ran = Datalog(output.args);
        ASSERT_EQ(ran.status, 0) << output.args[0] << " " << output.args[1] << ": " << ran.err;
        EXPECT_EQ(output.wrong(ran.out), "") << output.args[0] << " " << output.args[1];
    }
}

} // namespace
