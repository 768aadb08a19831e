// The Map tab on the simulator's survey sessions: its place after the chart in both windows, the
// picture grabbed at a small and a large size, its positions against the GeoJSON export's, a
// click choosing a marker or a position, the chart's time ringed, the gas chooser, sessions
// without positions, backgrounds that cannot be used, and the background of the PDF's map page.
#include "gui/MapPanel.h"
#include "GuiTestSupport.h"
#include "LocalTileServer.h"
#include "TileFile.h"
#include "gui/ArchiveDialog.h"
#include "gui/MainDialog.h"
#include "gui/MapBackground.h"
#include "gui/MapBackgroundDialog.h"
#include "gui/MapCanvas.h"

#include "charts/SessionChartSource.h"
#include "charts/SurveyColumn.h"
#include "export/RecordText.h"
#include "export/SessionExport.h"
#include "linkselect/LinkSelect.h"
#include "map/MapPicture.h"
#include "map/SessionMap.h"
#include "map/TileSource.h"
#include "report/Report.h"
#include "session/InstrumentSession.h"
#include "session/SessionReader.h"
#include "sim/LogMemory.h"
#include "testsupport/TestPace.h"

#include "testsupport/SessionStreams.h"
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVariant>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

namespace {

using mapping::MapScene;
using mapping::SceneRecord;
using mapping::TrackPoint;

using Streams = testsupport::SessionStreams;

bool Located(const RecordValue& record) {
    return record.HasGps && record.Gps.Located();
}

bool Surveyed(const SessionValues& session) {
    for (const RecordValue& record : session.Records) {
        if (record.Kind == RecordKind::Survey && Located(record)) {
            return true;
        }
    }
    return false;
}

const sim::LogMemory& Memory() {
    static const sim::LogMemory memory = [] {
        sim::LogMemory m;
        m.Generate(sim::MemoryOptions());
        return m;
    }();
    return memory;
}

// The simulator's sessions, decoded; only those with located survey records, or only those
// without any position.
std::vector<SessionValues> SimSessions(bool surveyed) {
    Streams source;
    std::vector<SessionValues> sessions;
    const std::string modes[4] = {"", "", "", ""};
    for (const sim::GeneratedSession& generated : Memory().Sessions()) {
        const auto slot = static_cast<int16_t>(generated.slot);
        source.streams[slot] = generated.stream;
        SessionValues session = DecodeSessionValues(source, slot, modes);
        const bool anyPlace = std::any_of(session.Records.begin(), session.Records.end(), Located);
        if (surveyed ? Surveyed(session) : !anyPlace) {
            sessions.push_back(std::move(session));
        }
    }
    return sessions;
}

// The surveyed session with the most positions, among those that read more than one gas at a
// place (an alarm's reading list) when `gases` asks for that.
SessionValues Busiest(const std::vector<SessionValues>& sessions, bool gases = false) {
    SessionValues busiest;
    size_t most = 0;
    for (const SessionValues& session : sessions) {
        const size_t located = static_cast<size_t>(
            std::count_if(session.Records.begin(), session.Records.end(), Located));
        if (located > most &&
            (!gases || mapping::GasesWithPlaces({session}, LogFilter()).size() > 1)) {
            most = located;
            busiest = session;
        }
    }
    return busiest;
}

std::vector<TrackPoint> Points(const MapScene& scene) {
    std::vector<TrackPoint> points;
    mapping::ForEachPoint(scene, [&points](const TrackPoint& point) { points.push_back(point); });
    return points;
}

bool Same(const SceneRecord& a, const SceneRecord& b) {
    return a.session == b.session && a.record == b.record;
}

double ColourDistance(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}

QColor PixelAt(const QImage& image, const QPointF& at) {
    return image.pixelColor(static_cast<int>(std::floor(at.x())),
                            static_cast<int>(std::floor(at.y())));
}

// The share of an image's pixels that are nearly black.
double DarkShare(const QImage& image) {
    int dark = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            dark += qGray(image.pixel(x, y)) < 40 ? 1 : 0;
        }
    }
    return static_cast<double>(dark) / (image.width() * image.height());
}

class MapPanelTest : public ::testing::Test {
protected:
    void SetUp() override { qRegisterMetaType<SceneRecord>(); }

    // The panel on its own, showing `sessions`, at `size`, scene put up.
    std::unique_ptr<MapPanel> Panel(const std::vector<SessionValues>& sessions,
                                    QSize size = QSize(1600, 1000)) {
        auto panel = std::make_unique<MapPanel>();
        panel->resize(size);
        panel->show();
        panel->ShowValues(sessions, LogFilter());
        panel->Finish();
        QApplication::processEvents();
        return panel;
    }

    static MapCanvas* Canvas(MapPanel& panel) { return NamedChild<MapCanvas>(panel, "mapCanvas"); }

    // Where the canvas draws `point` now.
    static QPointF OnCanvas(MapPanel& panel, mapping::GeoPoint point) {
        return mapping::PictureAt(QRectF(Canvas(panel)->rect()), panel.View(), point);
    }

    static QImage Grab(MapPanel& panel, const QString& name = QString()) {
        const QImage image = Canvas(panel)->grab().toImage().convertToFormat(QImage::Format_RGB32);
        // TAVON_MAP_SHOTS names a folder to keep the pictures in, to look at them.
        const QString shots = qEnvironmentVariable("TAVON_MAP_SHOTS");
        if (!name.isEmpty() && !shots.isEmpty()) {
            image.save(QDir(shots).absoluteFilePath(name));
            panel.grab().save(QDir(shots).absoluteFilePath("panel-" + name));
        }
        return image;
    }

    // The offline main window.
    std::unique_ptr<MainDialog> Window(const QString& tiles = QString()) {
        MainDialogEnvironment env;
        env.prompt = &prompt;
        env.tickMs = testsupport::kTestTickMs;
        env.tiles = tiles;
        env.askPdfName = [this](QWidget*) { return pdfName; };
        env.askMapBackground = [this](MapBackgroundChoice& choice, QWidget*) {
            choice = asked;
            return true;
        };
        auto dialog = std::make_unique<MainDialog>(env);
        CancellingHost host;
        CLinkSelect().SetDialogHost(&host);
        EXPECT_FALSE(dialog->Initialise());
        CLinkSelect().SetDialogHost(nullptr);
        return dialog;
    }

    void TearDown() override { CLinkSelect().SetDialogHost(nullptr); }

    PrivatePlace place;
    RecordingPrompt prompt;
    MapBackgroundChoice asked;
    QString pdfName;
    const std::vector<SessionValues> survey = SimSessions(true);

    // The simulator's dump opened in `dialog`, the first surveyed session chosen in its tree.
    void ShowTheSurvey(MainDialog& dialog) {
        const QString dump = QDir::current().absoluteFilePath("FlashData.txt");
        std::string error;
        ASSERT_TRUE(Memory().WriteDump(dump.toStdString(), error)) << error;
        ASSERT_TRUE(dialog.OpenDumpFrom(dump));
        QTreeWidget* tree = NamedChild<QTreeWidget>(dialog, "sessionTree");
        QTreeWidgetItem* chosen = nullptr;
        for (QTreeWidgetItemIterator it(tree); *it != nullptr && chosen == nullptr; ++it) {
            if ((*it)->childCount() == 0 && ((*it)->data(0, Qt::UserRole).toUInt() & 0xFFFF) ==
                                                static_cast<uint>(survey.front().Slot)) {
                chosen = *it;
            }
        }
        ASSERT_NE(chosen, nullptr);
        tree->setCurrentItem(chosen);
    }
};

TEST_F(MapPanelTest, TheMapTabFollowsTheChartInBothWindowsAndFillsWithASurvey) {
    ASSERT_FALSE(survey.empty());
    std::unique_ptr<MainDialog> dialog = Window();
    ShowTheSurvey(*dialog);
    dialog->Map().Finish();

    auto* tabs = NamedChild<QTabWidget>(*dialog, "reportTabs");
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(1), QString("Chart"));
    EXPECT_EQ(tabs->tabText(2), QString("Map"));
    EXPECT_EQ(tabs->widget(2), &dialog->Map());
    const MapScene& scene = dialog->Map().Scene();
    ASSERT_FALSE(scene.pieces.empty());
    for (const TrackPoint& point : Points(scene)) {
        EXPECT_EQ(point.record.session, 0);
    }
    EXPECT_FALSE(NamedChild<QLabel>(dialog->Map(), "mapHint")->isVisibleTo(&dialog->Map()));
    const QString record = NamedChild<QPlainTextEdit>(dialog->Map(), "mapSurvey")->toPlainText();
    // Named as the tree names the session: its day, the start its node shows, its slot said so.
    const int16_t slot = survey.front().Slot;
    const SessionEntry* entry = dialog->Session().Reader().Table().FindSlot(slot);
    ASSERT_NE(entry, nullptr);
    const QString start = NamedChild<QTreeWidget>(*dialog, "sessionTree")->currentItem()->text(0);
    EXPECT_TRUE(record.startsWith(QString("%1 %2 (slot %3)\n")
                                      .arg(QString::fromStdString(SessionDate(*entry)))
                                      .arg(start.left(8))
                                      .arg(slot)))
        << record.toStdString();
    EXPECT_TRUE(record.contains("Route walked:")) << record.toStdString();

    ArchiveDialog archive(QDir::current().absoluteFilePath("archive.sqlite"));
    auto* archiveTabs = NamedChild<QTabWidget>(archive, "reportTabs");
    ASSERT_EQ(archiveTabs->count(), 3);
    EXPECT_EQ(archiveTabs->tabText(2), QString("Map"));
    EXPECT_EQ(archiveTabs->widget(2), archive.Map());
}

// The survey record beside the map takes the width its lines ask, within its share on screen: on
// a 1920x1080 screen, as the window opens and maximised, no line of a session's record (its
// figures and every indication) is broken, only the totals of several sessions; on a smaller
// screen, where they would be broken all the same, the record takes its usual part and the map
// the larger one.
TEST_F(MapPanelTest, TheSurveyRecordsLinesShowWholeBesideTheMap) {
    ASSERT_FALSE(survey.empty());
    std::unique_ptr<MainDialog> dialog = Window();
    dialog->show();
    NamedChild<QTabWidget>(*dialog, "reportTabs")->setCurrentWidget(&dialog->Map());
    auto* record = NamedChild<QPlainTextEdit>(dialog->Map(), "mapSurvey");
    const MapCanvas* canvas = Canvas(dialog->Map());
    const QFont font = record->font();
    // In this machine's fixed font and in one a sixth wider, as desktops' often are.
    for (const double scale : {1.0, 7.0 / 6.0}) {
        QFont wider = font;
        wider.setPointSizeF(font.pointSizeF() * scale);
        record->setFont(wider);
        dialog->Map().ShowValues(survey, LogFilter());
        dialog->Map().Finish();
        // The window as it opens on a 1280x800 and a 1920x1080 screen (four fifths of each), and
        // maximised on each.
        for (const QSize window :
             {QSize(1024, 640), QSize(1536, 864), QSize(1280, 800), QSize(1920, 1080)}) {
            dialog->resize(window);
            QApplication::processEvents();
            const int room = record->viewport()->width() -
                             2 * static_cast<int>(std::ceil(record->document()->documentMargin()));
            const QFontMetricsF metrics(record->font());
            int lines = 0;
            int broken = 0;
            for (const QString& line : record->toPlainText().split('\n')) {
                if (line.startsWith("Total of ")) {
                    continue;
                }
                ++lines;
                broken += metrics.horizontalAdvance(line) > room ? 1 : 0;
            }
            ASSERT_GT(lines, 10);
            const int shared = canvas->width() + record->width();
            if (window.width() >= 1536) {
                EXPECT_EQ(broken, 0) << scale << " " << window.width() << ": " << room << " px";
            }
            if (broken > 0) {
                EXPECT_GE(record->width() + 1, static_cast<int>(shared * kScreenColumn.usual))
                    << scale << " " << window.width();
                EXPECT_GT(canvas->width(), record->width()) << scale << " " << window.width();
            }
            EXPECT_GE(canvas->width() + 1, static_cast<int>(shared * (1 - kScreenColumn.most)))
                << scale << " " << window.width();
        }
    }
}

TEST_F(MapPanelTest, GrabbedSmallAndLargeTheTrackHasItsScaleColoursInsideAndTheLegend) {
    for (QSize size : {QSize(400, 300), QSize(1600, 1000)}) {
        std::unique_ptr<MapPanel> panel = Panel({Busiest(survey)}, size);
        const QImage image =
            Grab(*panel, QString("maptab-%1x%2.png").arg(size.width()).arg(size.height()));
        const QRectF area(Canvas(*panel)->rect());
        ASSERT_GT(area.width(), size.width() / 2.0);
        const MapScene& scene = panel->Scene();
        const mapping::ReadingRange range = mapping::RangeOf(scene);
        ASSERT_TRUE(range.any);
        const QRectF legend = mapping::LegendBox(area, scene);
        int inScale = 0;
        int valued = 0;
        for (const TrackPoint& point : Points(scene)) {
            const QPointF at = OnCanvas(*panel, point.position);
            EXPECT_TRUE(area.contains(at)) << size.width() << " " << at.x() << "," << at.y();
            EXPECT_FALSE(legend.contains(at));
            if (point.hasValue && !point.overRange) {
                ++valued;
                // Dots drawn later may cover a dot of another reading.
                inScale += PixelAt(image, at) == mapping::ReadingColour(point.value, range);
            }
        }
        ASSERT_GT(valued, 0);
        EXPECT_GE(inScale * 2, valued) << inScale << " of " << valued;
        ASSERT_FALSE(legend.isEmpty());
        EXPECT_TRUE(area.contains(legend));
        double nearHigh = 1e9;
        double nearLow = 1e9;
        for (int y = static_cast<int>(legend.top()); y < legend.bottom(); ++y) {
            for (int x = static_cast<int>(legend.left()); x < legend.right(); ++x) {
                nearHigh = std::min(
                    nearHigh, ColourDistance(image.pixelColor(x, y), mapping::ScaleColour(1)));
                nearLow = std::min(nearLow,
                                   ColourDistance(image.pixelColor(x, y), mapping::ScaleColour(0)));
            }
        }
        EXPECT_LT(nearHigh, 24);
        EXPECT_LT(nearLow, 24);
        EXPECT_LT(DarkShare(image), 0.05);
    }
}

TEST_F(MapPanelTest, EveryPositionOnTheMapIsTheGeoJsonExportsOfItsRecord) {
    std::unique_ptr<MapPanel> panel = Panel(survey);
    const QJsonArray features =
        QJsonDocument::fromJson(ExportSessions(survey, ExportFormat::GeoJson, LogFilter()))
            .object()
            .value("features")
            .toArray();
    // The export writes one feature per located record, in the sessions' order.
    std::map<std::pair<int32_t, int32_t>, QJsonArray> exported;
    qsizetype next = 0;
    for (size_t s = 0; s < survey.size(); ++s) {
        for (size_t r = 0; r < survey[s].Records.size(); ++r) {
            if (Located(survey[s].Records[r])) {
                ASSERT_LT(next, features.size());
                exported[{static_cast<int32_t>(s), static_cast<int32_t>(r)}] =
                    features[next++]
                        .toObject()
                        .value("geometry")
                        .toObject()
                        .value("coordinates")
                        .toArray();
            }
        }
    }
    EXPECT_EQ(next, features.size());
    size_t compared = 0;
    auto compare = [&](const SceneRecord& record, mapping::GeoPoint position) {
        const auto found = exported.find({record.session, record.record});
        ASSERT_NE(found, exported.end()) << record.session << " " << record.record;
        EXPECT_EQ(position.longitude, found->second[0].toDouble());
        EXPECT_EQ(position.latitude, found->second[1].toDouble());
        ++compared;
    };
    for (const TrackPoint& point : Points(panel->Scene())) {
        compare(point.record, point.position);
    }
    for (const mapping::Marker& marker : panel->Scene().markers) {
        // A GPS average stands where the fix before it was; its own record has none.
        if (marker.kind != mapping::MarkerKind::GpsAverage) {
            compare(marker.record, marker.position);
        }
    }
    // Every located survey record is on the track.
    size_t surveyed = 0;
    for (const SessionValues& session : survey) {
        for (const RecordValue& record : session.Records) {
            surveyed += record.Kind == RecordKind::Survey && Located(record) ? 1 : 0;
        }
    }
    size_t onTrack = 0;
    for (const mapping::TrackPiece& piece : panel->Scene().pieces) {
        onTrack += piece.points.size();
    }
    EXPECT_EQ(onTrack, surveyed);
    EXPECT_GT(compared, onTrack);
}

TEST_F(MapPanelTest, AClickOnAMarkerOrAPositionChoosesItsRecordAndShowsItsTime) {
    const std::vector<SessionValues> shown = {Busiest(survey, true)};
    std::unique_ptr<MapPanel> panel = Panel(shown);
    const MapScene& scene = panel->Scene();
    const QRectF area(Canvas(*panel)->rect());
    auto alone = [&](const QPointF& at, const SceneRecord& self, double markerRoom,
                     double pointRoom) {
        for (const mapping::Marker& marker : scene.markers) {
            const QPointF other = OnCanvas(*panel, marker.position);
            if (!Same(marker.record, self) &&
                std::hypot(other.x() - at.x(), other.y() - at.y()) <= markerRoom) {
                return false;
            }
        }
        for (const TrackPoint& point : Points(scene)) {
            const QPointF other = OnCanvas(*panel, point.position);
            if (!Same(point.record, self) &&
                std::hypot(other.x() - at.x(), other.y() - at.y()) <= pointRoom) {
                return false;
            }
        }
        return area.contains(at);
    };
    QSignalSpy chosen(panel.get(), &MapPanel::placeChosen);
    auto* readOut = NamedChild<QLabel>(*panel, "mapReadOut");
    auto click = [&](const QPointF& at) {
        QTest::mouseClick(Canvas(*panel), Qt::LeftButton, {}, at.toPoint());
    };

    // A marker wins over the positions under it.
    const mapping::Marker* marker = nullptr;
    for (const mapping::Marker& candidate : scene.markers) {
        if (candidate.kind != mapping::MarkerKind::GpsAverage &&
            alone(OnCanvas(*panel, candidate.position), candidate.record,
                  MapCanvas::kPickPixels * 2, 0)) {
            marker = &candidate;
            break;
        }
    }
    ASSERT_NE(marker, nullptr);
    click(OnCanvas(*panel, marker->position));
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_TRUE(Same(chosen[0][0].value<SceneRecord>(), marker->record));
    const RecordValue& record = shown[static_cast<size_t>(marker->record.session)]
                                    .Records[static_cast<size_t>(marker->record.record)];
    EXPECT_TRUE(readOut->text().startsWith(WallClockText(record))) << readOut->text().toStdString();
    EXPECT_TRUE(readOut->text().contains(QString::fromStdString(marker->label)));

    // A position away from every marker.
    const std::vector<TrackPoint> points = Points(scene);
    const TrackPoint* position = nullptr;
    for (const TrackPoint& candidate : points) {
        if (alone(OnCanvas(*panel, candidate.position), candidate.record,
                  MapCanvas::kPickPixels * 2, 1)) {
            position = &candidate;
            break;
        }
    }
    ASSERT_NE(position, nullptr);
    click(OnCanvas(*panel, position->position));
    ASSERT_EQ(chosen.count(), 2);
    EXPECT_TRUE(Same(chosen[1][0].value<SceneRecord>(), position->record));
    const RecordValue& point = shown[static_cast<size_t>(position->record.session)]
                                   .Records[static_cast<size_t>(position->record.record)];
    EXPECT_EQ(readOut->text(), WallClockText(point) + "   " + ReadingsText(point));

    // Nothing there: nothing chosen.
    QPointF empty;
    for (int x = 5; x < area.width(); x += 7) {
        if (alone(QPointF(x, area.height() / 2), SceneRecord(), MapCanvas::kPickPixels * 2,
                  MapCanvas::kPickPixels * 2)) {
            empty = QPointF(x, area.height() / 2);
            break;
        }
    }
    click(empty);
    EXPECT_EQ(chosen.count(), 2);
}

TEST_F(MapPanelTest, TheWheelZoomsAboutTheMouseADragPansAndADoubleClickFitsAgain) {
    std::unique_ptr<MapPanel> panel = Panel({Busiest(survey)}, QSize(800, 600));
    MapCanvas* canvas = Canvas(*panel);
    const mapping::MapView fitted = panel->View();
    EXPECT_EQ(fitted.zoom, mapping::FitScene(panel->Scene(), QSizeF(canvas->size())).zoom);
    const mapping::GeoPoint place = panel->Scene().pieces.front().points.front().position;
    const QPointF mouse = OnCanvas(*panel, place);
    auto wheel = [&](int angle) {
        QWheelEvent event(mouse, canvas->mapToGlobal(mouse), QPoint(), QPoint(0, angle),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas, &event);
    };
    wheel(-120);
    EXPECT_EQ(panel->View().zoom, fitted.zoom - 1);
    // Half notches gather into one.
    wheel(-60);
    EXPECT_EQ(panel->View().zoom, fitted.zoom - 1);
    wheel(-60);
    EXPECT_EQ(panel->View().zoom, fitted.zoom - 2);
    const QPointF after = OnCanvas(*panel, place);
    EXPECT_LT(std::hypot(after.x() - mouse.x(), after.y() - mouse.y()), 1.0);
    // Never beyond the largest zoom.
    for (int i = 0; i < 30; ++i) {
        wheel(120);
    }
    EXPECT_EQ(panel->View().zoom, mapping::kMaxZoom);

    const QPointF before = OnCanvas(*panel, place);
    const QPoint from(400, 300);
    const QPoint by(-120, 45);
    QTest::mousePress(canvas, Qt::LeftButton, {}, from);
    QTest::mouseMove(canvas, from + by / 2);
    QTest::mouseMove(canvas, from + by);
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, from + by);
    const QPointF moved = OnCanvas(*panel, place);
    EXPECT_NEAR(moved.x() - before.x(), by.x(), 1.0);
    EXPECT_NEAR(moved.y() - before.y(), by.y(), 1.0);

    QTest::mouseDClick(canvas, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(panel->View().zoom, fitted.zoom);
    EXPECT_NEAR(panel->View().centre.latitude, fitted.centre.latitude, 1e-9);
    EXPECT_NEAR(panel->View().centre.longitude, fitted.centre.longitude, 1e-9);
}

TEST_F(MapPanelTest, TheChartsTimeRingsTheNearestPlaceAndATimeFarFromAnyClearsIt) {
    std::unique_ptr<MapPanel> panel = Panel({Busiest(survey)}, QSize(800, 600));
    const QImage plain = Grab(*panel);
    const TrackPoint point = panel->Scene().pieces.front().points.front();
    ASSERT_TRUE(point.record.stamped);
    panel->ShowPlaceAt(charts::ChartTime(point.record.stamp));
    const QImage ringed = Grab(*panel, "maptab-ringed.png");
    const QPointF at = OnCanvas(*panel, point.position);
    int changed = 0;
    for (int y = -14; y <= 14; ++y) {
        for (int x = -14; x <= 14; ++x) {
            const QPoint p = at.toPoint() + QPoint(x, y);
            if (QRect(QPoint(0, 0), plain.size()).contains(p)) {
                changed += plain.pixel(p) != ringed.pixel(p) ? 1 : 0;
            }
        }
    }
    EXPECT_GT(changed, 20);
    // The line above the map tells of the place ringed.
    auto* readOut = NamedChild<QLabel>(*panel, "mapReadOut");
    const SessionValues busiest = Busiest(survey);
    const RecordValue& ringedRecord = busiest.Records[static_cast<size_t>(point.record.record)];
    EXPECT_TRUE(readOut->text().startsWith(WallClockText(ringedRecord)))
        << readOut->text().toStdString();
    panel->ShowPlaceAt(0);
    EXPECT_EQ(Grab(*panel), plain);
    EXPECT_FALSE(readOut->text().contains(WallClockText(ringedRecord)));
}

TEST_F(MapPanelTest, TheGasChooserOffersEveryGasReadAtAPlaceAndRedrawsInTheChosenOne) {
    const SessionValues session = Busiest(survey, true);
    std::unique_ptr<MapPanel> panel = Panel({session});
    const std::vector<mapping::MapGas> gases = mapping::GasesWithPlaces({session}, LogFilter());
    ASSERT_GT(gases.size(), 1u);
    auto* chooser = NamedChild<QComboBox>(*panel, "mapGas");
    EXPECT_TRUE(chooser->isVisible());
    ASSERT_EQ(chooser->count(), static_cast<int>(gases.size()));
    for (size_t i = 0; i < gases.size(); ++i) {
        EXPECT_EQ(chooser->itemText(static_cast<int>(i)),
                  QString::fromStdString(mapping::MapGasText(gases[i])));
    }
    EXPECT_EQ(panel->Scene().gas, gases[0].name);
    const mapping::MapView view = panel->View();
    QTest::keyClick(chooser, Qt::Key_Down);
    panel->Finish();
    EXPECT_EQ(panel->Scene().gas, gases[1].name);
    EXPECT_EQ(panel->View().zoom, view.zoom);
    // One session of a single gas: nothing to choose.
    std::vector<SessionValues> one;
    for (const SessionValues& session : survey) {
        if (mapping::GasesWithPlaces({session}, LogFilter()).size() == 1) {
            one.push_back(session);
            break;
        }
    }
    ASSERT_FALSE(one.empty());
    panel->ShowValues(one, LogFilter());
    panel->Finish();
    EXPECT_FALSE(chooser->isVisible());
}

// Whether `label`'s text, wrapped at its width, fits in it whole.
bool Whole(const QLabel& label) {
    const QRect room = label.contentsRect();
    const QRect needed = label.fontMetrics().boundingRect(QRect(0, 0, room.width(), 100000),
                                                          Qt::TextWordWrap, label.text());
    return needed.width() <= room.width() && needed.height() <= room.height();
}

// The line above the map wraps in a narrow window, the archive's at its smallest among them,
// rather than cutting its words off; a read-out that comes and goes moves the map nowhere.
TEST_F(MapPanelTest, TheLineAboveTheMapIsNeverCutAndReadOutsLeaveTheMapWhereItIs) {
    for (int width : {420, 700, 1600}) {
        std::unique_ptr<MapPanel> panel = Panel({Busiest(survey)}, QSize(width, 500));
        auto* readOut = NamedChild<QLabel>(*panel, "mapReadOut");
        EXPECT_TRUE(readOut->text().endsWith("double-click for all.")) << width;
        EXPECT_TRUE(Whole(*readOut)) << width << ": " << readOut->height();
        EXPECT_LE(readOut->geometry().right(), panel->width()) << width;
        const QRect canvas = Canvas(*panel)->geometry();
        const TrackPoint point = panel->Scene().pieces.front().points.front();
        ASSERT_TRUE(point.record.stamped);
        panel->ShowPlaceAt(charts::ChartTime(point.record.stamp));
        QApplication::processEvents();
        EXPECT_FALSE(readOut->text().endsWith("double-click for all.")) << width;
        EXPECT_TRUE(Whole(*readOut)) << width;
        EXPECT_EQ(Canvas(*panel)->geometry(), canvas) << width;
    }
    ArchiveDialog archive(QDir::current().absoluteFilePath("archive.sqlite"));
    NamedChild<QTabWidget>(archive, "reportTabs")->setCurrentIndex(2);
    archive.resize(archive.minimumSizeHint());
    archive.show();
    QApplication::processEvents();
    auto* readOut = NamedChild<QLabel>(*archive.Map(), "mapReadOut");
    EXPECT_TRUE(readOut->isVisible());
    EXPECT_TRUE(Whole(*readOut)) << archive.width() << " x " << archive.height();
}

TEST_F(MapPanelTest, SessionsWithoutPositionsSayItOverTheGrid) {
    const std::vector<SessionValues> none = SimSessions(false);
    ASSERT_FALSE(none.empty());
    std::unique_ptr<MapPanel> panel = Panel({none.front()}, QSize(400, 300));
    auto* hint = NamedChild<QLabel>(*panel, "mapHint");
    EXPECT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(), QString("No positions in these sessions."));
    EXPECT_LT(DarkShare(Grab(*panel, "maptab-none.png")), 0.05);
    panel->ShowValues(survey, LogFilter());
    panel->Finish();
    EXPECT_FALSE(hint->isVisible());
}

TEST_F(MapPanelTest, ATileStoreThatCannotBeUsedGivesTheGridAndOneMessage) {
    QFile broken(QDir::current().absoluteFilePath("broken.mbtiles"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(4096, 'x'));
    broken.close();
    const QString missing = QDir::current().absoluteFilePath("missing.mbtiles");
    for (const QString& path : {broken.fileName(), missing}) {
        MapBackgroundChoice choice;
        choice.kind = MapBackgroundChoice::Kind::TileFile;
        choice.tileFile = path;
        QString message;
        EXPECT_EQ(MakeBackground(choice, message), nullptr);
        EXPECT_TRUE(message.contains(path)) << message.toStdString();
    }
    // Given with --tiles: the window's map says so once and draws its grid.
    std::unique_ptr<MainDialog> dialog = Window(broken.fileName());
    auto* message = NamedChild<QLabel>(dialog->Map(), "mapMessage");
    EXPECT_TRUE(message->text().contains("broken.mbtiles")) << message->text().toStdString();
    EXPECT_EQ(message->text().count("broken.mbtiles"), 1);
    dialog->Map().ShowValues(survey, LogFilter());
    dialog->Map().Finish();
    dialog->Map().resize(640, 480);
    EXPECT_EQ(dialog->Map().Background(), nullptr);
    EXPECT_LT(DarkShare(Grab(dialog->Map(), "maptab-broken.png")), 0.05);

    // View > Map Background...: the choice is kept in Settings.ini and used at once.
    asked.kind = MapBackgroundChoice::Kind::TileFile;
    asked.tileFile = missing;
    asked.tileServer = "https://tiles.example.org/{z}/{x}/{y}.png";
    asked.attribution = "Example tiles";
    dialog->Action("actionMapBackground")->trigger();
    EXPECT_EQ(ReadMapBackground(), asked);
    EXPECT_TRUE(message->text().contains("missing.mbtiles")) << message->text().toStdString();
    asked.kind = MapBackgroundChoice::Kind::Grid;
    dialog->Action("actionMapBackground")->trigger();
    EXPECT_EQ(ReadMapBackground(), asked);
    EXPECT_TRUE(message->text().isEmpty());
}

// An MBTiles file without a tile: a tile store all the same, whose attribution a map drawn on it
// carries.
void MakeTileFile(const QString& path, const QString& attribution) {
    ASSERT_TRUE(WriteTileFile(path, attribution, {}));
}

std::string PdfText(const QString& path) {
    QProcess process;
    process.start("pdftotext", {"-layout", path, "-"});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return std::string();
    }
    return process.readAllStandardOutput().toStdString();
}

// File > Save as PDF...: the survey's map page is drawn on the tile file the map has (--tiles or
// View > Map Background...), its attribution with it; with a tile server chosen, on the grid: a
// PDF never waits on the network.
TEST_F(MapPanelTest, SaveAsPdfDrawsTheMapPageOnTheTileFileChosenAndNeverOnAServer) {
    const QString tiles = QDir::current().absoluteFilePath("town.mbtiles");
    MakeTileFile(tiles, "(c) Town Tiles");
    std::unique_ptr<MainDialog> dialog = Window(tiles);
    ShowTheSurvey(*dialog);
    pdfName = QDir::current().absoluteFilePath("tiled.pdf");
    dialog->Action("actionSavePdf")->trigger();
    const std::string tiled = PdfText(pdfName);
    EXPECT_NE(tiled.find("Route walked:"), std::string::npos) << tiled;
    EXPECT_NE(tiled.find("(c) Town Tiles"), std::string::npos) << tiled;
    // The page's positions are coloured by the gas the Map tab shows, its legend naming it.
    auto* gas = NamedChild<QComboBox>(dialog->Map(), "mapGas");
    dialog->Map().Finish();
    if (gas->count() > 1) {
        gas->setCurrentIndex(gas->count() - 1);
        emit gas->activated(gas->count() - 1);
        pdfName = QDir::current().absoluteFilePath("other-gas.pdf");
        dialog->Action("actionSavePdf")->trigger();
        const std::string other = PdfText(pdfName);
        EXPECT_NE(other.find(gas->currentText().toStdString()), std::string::npos) << other;
    }

    asked.kind = MapBackgroundChoice::Kind::TileServer;
    asked.tileFile = tiles;
    asked.tileServer = "https://tiles.example.org/{z}/{x}/{y}.png";
    asked.attribution = "Example tiles";
    dialog->Action("actionMapBackground")->trigger();
    pdfName = QDir::current().absoluteFilePath("server.pdf");
    dialog->Action("actionSavePdf")->trigger();
    const std::string grid = PdfText(pdfName);
    EXPECT_NE(grid.find("Route walked:"), std::string::npos) << grid;
    EXPECT_EQ(grid.find("Town Tiles"), std::string::npos) << grid;
    EXPECT_EQ(grid.find("Example tiles"), std::string::npos) << grid;
}

// A tile server chosen in the background dialog: its tiles are fetched on the worker and drawn
// once they come; an address that cannot be one gives the grid and says why.
TEST_F(MapPanelTest, ATileServersTilesAreDrawnWhenTheyCome) {
    std::unique_ptr<MapPanel> panel = Panel({Busiest(survey)}, QSize(640, 480));
    MapBackgroundChoice choice;
    choice.kind = MapBackgroundChoice::Kind::TileServer;
    choice.tileServer = "ftp://tiles.example.org/{z}/{x}/{y}.png";
    QString message;
    EXPECT_EQ(MakeBackground(choice, message), nullptr);
    EXPECT_TRUE(message.contains("ftp")) << message.toStdString();

    QImage magenta(256, 256, QImage::Format_RGB32);
    magenta.fill(QColor(255, 0, 255));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    magenta.save(&buffer, "PNG");
    LocalTileServer server;
    const mapping::MapView view = panel->View();
    const mapping::TileIndex middle = mapping::TileAt(view.centre, view.zoom);
    for (int dx = -3; dx <= 3; ++dx) {
        for (int dy = -3; dy <= 3; ++dy) {
            server.Serve(
                QString("/%1/%2/%3.png").arg(view.zoom).arg(middle.x + dx).arg(middle.y + dy),
                {200, png});
        }
    }
    qputenv("XDG_CACHE_HOME", QDir::current().absoluteFilePath("cache").toLocal8Bit());
    choice.tileServer = server.Base() + "/{z}/{x}/{y}.png";
    choice.attribution = "Test tiles";
    std::shared_ptr<mapping::TileSource> background = MakeBackground(choice, message);
    ASSERT_NE(background, nullptr) << message.toStdString();
    panel->SetBackground(background);
    auto magentaShare = [&panel] {
        const QImage image = Grab(*panel);
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                count += image.pixel(x, y) == qRgb(255, 0, 255) ? 1 : 0;
            }
        }
        return static_cast<double>(count) / (image.width() * image.height());
    };
    // The first drawing asks for the tiles; the worker's answer repaints.
    for (int wait = 0; wait < 200 && magentaShare() <= 0.5; ++wait) {
        QTest::qWait(50);
    }
    EXPECT_GT(magentaShare(), 0.5);
    EXPECT_EQ(background->Attribution(), "Test tiles");
    EXPECT_FALSE(server.Paths().isEmpty());
}

TEST(MapBackgroundTest, TheTilesOptionIsTakenOutOfTheArguments) {
    const struct {
        QStringList arguments;
        QString tiles;
        QStringList rest;
    } cases[] = {
        {{}, "", {}},
        {{"--tiles", "a.mbtiles"}, "a.mbtiles", {}},
        {{"x", "--tiles=b.mbtiles", "y"}, "b.mbtiles", {"x", "y"}},
        {{"x", "--tiles"}, "", {"x", "--tiles"}},
    };
    for (const auto& c : cases) {
        QStringList arguments = c.arguments;
        EXPECT_EQ(TakeTilesOption(arguments), c.tiles);
        EXPECT_EQ(arguments, c.rest);
    }
}

TEST(MapBackgroundTest, TheDialogShowsAndGivesBackTheChoice) {
    MapBackgroundChoice choice;
    choice.kind = MapBackgroundChoice::Kind::TileServer;
    choice.tileFile = "/maps/town.mbtiles";
    choice.tileServer = "https://tiles.example.org/{z}/{x}/{y}.png";
    choice.attribution = "Example tiles";
    MapBackgroundDialog dialog(choice, nullptr,
                               [](QWidget*) { return QString("/maps/new.mbtiles"); });
    EXPECT_EQ(dialog.Choice(), choice);
    EXPECT_FALSE(dialog.FileField()->isEnabled());
    dialog.FileButton()->setChecked(true);
    EXPECT_TRUE(dialog.FileField()->isEnabled());
    EXPECT_FALSE(dialog.ServerField()->isEnabled());
    choice.kind = MapBackgroundChoice::Kind::TileFile;
    EXPECT_EQ(dialog.Choice(), choice);
}

} // namespace
