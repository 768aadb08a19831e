// The report's map page, written into PDFs in this process and read back with poppler's
// pdftotext: where it goes, what it says, that it changes nothing for sessions without a place,
// and that it gives the same bytes run after run on the grid and on an MBTiles file.
#include "TileFile.h"
#include "charts/ReportPdf.h"
#include "charts/SessionChartPlot.h"
#include "charts/SessionChartSource.h"
#include "export/SurveyExport.h"
#include "map/MapPageContent.h"
#include "map/MapProjection.h"
#include "map/MapTiles.h"
#include "recbuild/RecordBuilder.h"
#include "report/Report.h"
#include "testsupport/Files.h"
#include "testsupport/TempDir.h"

#include "testsupport/SessionStreams.h"
#include <QHashSeed>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QVariant>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using R = RecordBuilder;
using Bytes = std::vector<uint8_t>;

using Streams = testsupport::SessionStreams;

constexpr uint32_t kStart = 850000000;

void Add(Bytes& stream, const Bytes& record) {
    stream.insert(stream.end(), record.begin(), record.end());
}

// A walk north from 51 degrees on the meridian 1 degree west, a survey record each minute of arc
// (`fixed` false: every record without a fix).
SessionValues Walk(int16_t slot, int records, bool fixed) {
    Bytes stream;
    Add(stream, R::Stamped('O', '1', kStart).Chars("GAS", 3).Bytes());
    for (int i = 0; i < records; ++i) {
        const uint32_t at = kStart + 10 + 10 * static_cast<uint32_t>(i);
        if (fixed) {
            Add(stream,
                R::Stamped('W', '1', at)
                    .S16(static_cast<int16_t>(5 + i))
                    .Gps(GpsFix::At(true, static_cast<int16_t>(5100 + i), 0, false, 100, 0, 2))
                    .Bytes());
        } else {
            Add(stream, R::Stamped('W', '1', at).S16(5).ZeroGps().Bytes());
        }
    }
    Add(stream, R::Stamped('Y', '1', kStart + 20 + 10 * static_cast<uint32_t>(records)).Bytes());
    Streams source;
    source.streams[slot] = stream;
    std::string modes[4] = {"", "", "", ""};
    return DecodeSessionValues(source, slot, modes);
}

std::string PdfText(const std::string& path) {
    QProcess process;
    process.start("pdftotext", {"-layout", QString::fromStdString(path), "-"});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return std::string();
    }
    return process.readAllStandardOutput().toStdString();
}

std::string Squeezed(const std::string& text) {
    return QString::fromStdString(text)
        .replace(QRegularExpression("\\s+"), " ")
        .trimmed()
        .toStdString();
}

// The report of the sessions, then their chart, then (with `map`) the map page, as a PDF's bytes,
// written as a new process would write it: with a hash seed of its own.
std::string ReportPdf(const testsupport::TempDir& dir, const std::string& name,
                      const std::vector<SessionValues>& sessions,
                      const mapping::MapPageContent* map) {
    QHashSeed::resetRandomGlobalSeed();
    SessionChartPlot plot;
    plot.SetChart(charts::ChartOfValues(sessions, LogFilter()), "Mon 07 December 2026");
    const std::string rtf = std::string(RtfHeader) + "Mon 07 December 2026 \\par }}";
    QString error;
    const std::string path = dir.File(name);
    EXPECT_TRUE(WriteReportPdf(rtf, "Mon 07 December 2026", &plot, QString::fromStdString(path),
                               error, QString(), map))
        << error.toStdString();
    return testsupport::ReadFile(path);
}

// A store with tiles of one colour around 51 degrees north, 1 degree west at every zoom a
// page's map may take.
void MakeStore(const QString& path) {
    std::vector<TestTile> tiles;
    for (int zoom = 0; zoom <= 18; ++zoom) {
        const mapping::TileIndex centre = mapping::TileAt({51.02, -1.0}, zoom);
        const int last = (1 << zoom) - 1;
        for (int x = std::max(0, centre.x - 4); x <= std::min(last, centre.x + 4); ++x) {
            for (int y = std::max(0, centre.y - 4); y <= std::min(last, centre.y + 4); ++y) {
                tiles.push_back({zoom, x, y, QColor(170, 210, 240)});
            }
        }
    }
    ASSERT_TRUE(WriteTileFile(path, "(c) Test Tiles", tiles));
}

int Pages(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\f'));
}

TEST(MapPage, FollowsTheChartWithTheSurveyRecordTheSameInEveryRun) {
    testsupport::TempDir dir;
    const std::vector<SessionValues> sessions = {Walk(4, 6, true)};
    const mapping::MapPageContent map =
        mapping::MapPageOf(sessions, LogFilter(), {{{"SN 7", "2026-08-18", "08:59:25"}, "due"}});
    ASSERT_TRUE(mapping::SceneHasPlaces(map.scene));
    const std::string grid = ReportPdf(dir, "grid.pdf", sessions, &map);
    const std::string text = PdfText(dir.File("grid.pdf"));
    ASSERT_EQ(Pages(text), 3) << text; // the report, the chart, the map
    const std::string mapPage = Squeezed(text.substr(text.rfind('\f', text.size() - 2) + 1));
    const std::string record = WriteSurveys(map.surveys, SurveyFormat::Text).toStdString();
    for (const char* line :
         {"SN 7, 2026-08-18 08:59:25 (slot 4)", "Register:", "Route walked:", "Survey records:"}) {
        const size_t at = record.find(line);
        ASSERT_NE(at, std::string::npos) << line;
        const std::string wanted = Squeezed(record.substr(at, record.find('\n', at) - at));
        EXPECT_NE(mapPage.find(wanted), std::string::npos) << wanted << " in " << mapPage;
    }
    EXPECT_NE(mapPage.find("Page 3 of 3"), std::string::npos) << mapPage;
    EXPECT_EQ(ReportPdf(dir, "again.pdf", sessions, &map), grid) << "the grid's page changed";

    MakeStore(QString::fromStdString(dir.File("tiles.mbtiles")));
    mapping::MapTiles tiles;
    ASSERT_TRUE(tiles.Open(QString::fromStdString(dir.File("tiles.mbtiles"))))
        << tiles.Error().toStdString();
    mapping::MapPageContent tiled = map;
    tiled.background = &tiles;
    const std::string onTiles = ReportPdf(dir, "tiled.pdf", sessions, &tiled);
    EXPECT_NE(onTiles, grid);
    EXPECT_NE(PdfText(dir.File("tiled.pdf")).find("(c) Test Tiles"), std::string::npos);
    EXPECT_EQ(ReportPdf(dir, "tiled-again.pdf", sessions, &tiled), onTiles)
        << "the tiles' page changed";
}

TEST(MapPage, SessionsWithoutAPlaceLeaveThePdfAsItWas) {
    testsupport::TempDir dir;
    const std::vector<SessionValues> sessions = {Walk(3, 4, false)};
    const mapping::MapPageContent map = mapping::MapPageOf(sessions, LogFilter(), {});
    EXPECT_FALSE(mapping::SceneHasPlaces(map.scene));
    EXPECT_EQ(ReportPdf(dir, "with.pdf", sessions, &map),
              ReportPdf(dir, "without.pdf", sessions, nullptr));
}

// A Full Day's record longer than the column beside the map runs on over a page of its own, every
// session and the totals whole.
TEST(MapPage, ALongRecordRunsOnToAnotherPage) {
    testsupport::TempDir dir;
    std::vector<SessionValues> sessions;
    for (int16_t slot = 10; slot < 20; ++slot) {
        sessions.push_back(Walk(slot, 3, true));
    }
    const mapping::MapPageContent map = mapping::MapPageOf(sessions, LogFilter(), {});
    ReportPdf(dir, "day.pdf", sessions, &map);
    const std::string text = PdfText(dir.File("day.pdf"));
    ASSERT_EQ(Pages(text), 4) << text;
    const std::string last = text.substr(text.rfind('\f', text.size() - 2) + 1);
    EXPECT_NE(last.find("Page 4 of 4"), std::string::npos);
    EXPECT_NE(Squeezed(last).find("Total of 10 sessions"), std::string::npos) << last;
    for (int slot = 10; slot < 20; ++slot) {
        EXPECT_NE(text.find("undated (slot " + std::to_string(slot) + ")"), std::string::npos)
            << slot;
    }
}

} // namespace
