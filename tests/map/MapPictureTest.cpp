// Map pictures painted into images and read back pixel by pixel: the dots' colours against the
// scale, the gaps between pieces, the over-range colour, the scale bar's length, a tile
// background with its attribution, the area's edges, and the files the writers make.
#include "map/MapPicture.h"
#include "CrowdedScenes.h"
#include "TileFile.h"
#include "map/MapLayout.h"
#include "map/MapTiles.h"
#include "map/TileSource.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using namespace mapping;

const QSize kSize(640, 480);
const MapView kView{16, {52.0, 5.0}};

TrackPoint At(double latitude, double longitude, double value, bool overRange = false) {
    TrackPoint point;
    point.position = {latitude, longitude};
    point.value = value;
    point.overRange = overRange;
    return point;
}

// Two pieces a gap apart; the readings run from 0 to 20 with 10 in the middle.
MapScene TwoPieces() {
    MapScene scene;
    scene.gas = "CH4";
    scene.unit = "%LEL";
    scene.pieces.push_back(
        {{At(51.9995, 4.997, 0), At(51.9995, 4.998, 10), At(51.9995, 4.999, 5)}});
    scene.pieces.push_back({{At(52.0010, 5.001, 20), At(52.0010, 5.002, 7)}});
    scene.markers.push_back({MarkerKind::Barhole, {51.9985, 5.002}, "Barhole 3: 47 %Gas", {}});
    return scene;
}

QPointF OnScreen(GeoPoint point, const QRectF& area, const MapView& view) {
    const WorldPoint world = ToWorld(point, view.zoom);
    const WorldPoint centre = ToWorld(view.centre, view.zoom);
    return area.center() + QPointF(world.x - centre.x, world.y - centre.y);
}

QImage Draw(const MapScene& scene, const MapView& view = kView, TileSource* tiles = nullptr,
            QSize size = kSize) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    DrawMap(painter, QRectF(QPointF(0, 0), QSizeF(size)), scene, view, tiles);
    return image;
}

QColor PixelAt(const QImage& image, const QPointF& point) {
    return image.pixelColor(static_cast<int>(std::floor(point.x())),
                            static_cast<int>(std::floor(point.y())));
}

QColor DotColour(const QImage& image, const TrackPoint& point) {
    return PixelAt(image, OnScreen(point.position, QRectF(QPoint(0, 0), kSize), kView));
}

TEST(MapPictureTest, DotsCarryTheScaleColoursOfTheirReadings) {
    const MapScene scene = TwoPieces();
    const QImage image = Draw(scene);
    EXPECT_NE(ScaleColour(0), ScaleColour(1));
    EXPECT_EQ(DotColour(image, scene.pieces[0].points[0]), ScaleColour(0));
    EXPECT_EQ(DotColour(image, scene.pieces[1].points[0]), ScaleColour(1));
    EXPECT_EQ(DotColour(image, scene.pieces[0].points[1]), ScaleColour(0.5));
    EXPECT_EQ(DotColour(image, scene.pieces[0].points[2]), ScaleColour(0.25));
}

TEST(MapPictureTest, PiecesAreJoinedWithinButNeverAcrossTheGap) {
    MapScene scene = TwoPieces();
    const QImage image = Draw(scene);
    MapScene bare = scene;
    bare.pieces.clear();
    const QImage plain = Draw(bare);
    const QRectF area(QPoint(0, 0), kSize);
    auto differing = [&](GeoPoint from, GeoPoint to) {
        const QPointF a = OnScreen(from, area, kView);
        const QPointF b = OnScreen(to, area, kView);
        int count = 0;
        for (int i = 2; i <= 8; ++i) {
            const QPointF p = a + (b - a) * (i / 10.0);
            count += PixelAt(image, p) != PixelAt(plain, p) ? 1 : 0;
        }
        return count;
    };
    const auto& first = scene.pieces[0].points;
    const auto& second = scene.pieces[1].points;
    EXPECT_EQ(differing(first[0].position, first[1].position), 7);
    EXPECT_EQ(differing(second[0].position, second[1].position), 7);
    EXPECT_EQ(differing(first[2].position, second[0].position), 0);
}

TEST(MapPictureTest, AnOverRangeReadingHasItsOwnColourAndLeavesTheScaleAlone) {
    const MapScene scene = TwoPieces();
    MapScene over = scene;
    over.pieces[1].points.push_back(At(52.0010, 5.003, 1e6, true));
    const QImage before = Draw(scene);
    const QImage after = Draw(over);
    EXPECT_EQ(DotColour(after, over.pieces[1].points[2]), OverRangeColour());
    for (const TrackPiece& piece : scene.pieces) {
        for (const TrackPoint& point : piece.points) {
            EXPECT_EQ(DotColour(after, point), DotColour(before, point));
            EXPECT_NE(DotColour(after, point), OverRangeColour());
        }
    }
    const ReadingRange range = RangeOf(over);
    EXPECT_EQ(range.low, 0);
    EXPECT_EQ(range.high, 20);
}

// Readings that never changed get a scale that spans something: from 0 to a tenth of the
// sensor's range, or to the reading where it is higher; readings that did change keep theirs.
TEST(MapPictureTest, AGasThatNeverRoseHasAScaleFromZeroToATenthOfItsRange) {
    struct Case {
        std::vector<double> values;
        double fullScale;
        double low;
        double high;
    };
    const std::vector<Case> cases = {
        {{0, 0, 0}, 100, 0, 10},     // clean air on a % LEL sensor: "0" to "10"
        {{0, 0}, 1000, 0, 100},      // on a ppm sensor to 1000
        {{0}, 0, 0, 1},              // a range not known: one of the unit
        {{3, 3}, 100, 0, 10},        //
        {{20.9, 20.9}, 25, 0, 20.9}, // above the tenth: up to the reading
        {{-1, -1}, 100, -1, 9},      // below 0: from the reading
        {{0, 4, 2}, 100, 0, 4},      // readings that changed span themselves
        {{0.5, 0.5}, 5, 0, 0.5},     //
    };
    for (const Case& c : cases) {
        MapScene scene;
        scene.gas = "LEL";
        scene.fullScale = c.fullScale;
        TrackPiece piece;
        for (size_t i = 0; i < c.values.size(); ++i) {
            piece.points.push_back(At(52.0, 4.999 + 0.001 * static_cast<double>(i), c.values[i]));
        }
        // An over-range reading stretches no scale.
        piece.points.push_back(At(52.0, 5.004, 1e6, true));
        scene.pieces.push_back(piece);
        const ReadingRange range = RangeOf(scene);
        ASSERT_TRUE(range.any);
        EXPECT_DOUBLE_EQ(range.low, c.low) << c.values[0] << " of " << c.fullScale;
        EXPECT_DOUBLE_EQ(range.high, c.high) << c.values[0] << " of " << c.fullScale;
    }
    // Clean air's dots are the scale's low end.
    MapScene clean;
    clean.gas = "LEL";
    clean.fullScale = 100;
    clean.pieces.push_back({{At(51.9995, 4.998, 0), At(51.9995, 4.999, 0)}});
    EXPECT_EQ(DotColour(Draw(clean), clean.pieces[0].points[0]), ScaleColour(0));
}

TEST(MapPictureTest, TheScaleBarIsAsLongAsItsLabelSays) {
    for (const QSize& size : {QSize(320, 240), kSize, QSize(1600, 1000)}) {
        for (const MapView& view : {kView, MapView{3, {60, 10}}, MapView{12, {-33.9, 18.4}}}) {
            const QRectF area(QPoint(0, 0), size);
            const ScaleBar bar = ScaleBarFor(area, view);
            ASSERT_GT(bar.metres, 0);
            const double power = std::pow(10.0, std::floor(std::log10(bar.metres) + 1e-9));
            const double leading = bar.metres / power;
            EXPECT_TRUE(leading == 1 || leading == 2 || leading == 5) << bar.metres;
            const double metres = bar.label.endsWith(" km") ? bar.label.chopped(3).toDouble() * 1000
                                                            : bar.label.chopped(2).toDouble();
            EXPECT_EQ(metres, bar.metres) << bar.label.toStdString();
            const double perPixel = MetresPerPixel(view.centre.latitude, view.zoom);
            EXPECT_NEAR(bar.line.length(), bar.metres / perPixel, 1.0);
            const QImage image = Draw(MapScene{}, view, nullptr, size);
            const int y = static_cast<int>(bar.line.y1());
            const int left = static_cast<int>(bar.line.x1());
            int right = left;
            while (right + 1 < size.width() && image.pixelColor(right + 1, y) == Qt::black) {
                ++right;
            }
            EXPECT_EQ(image.pixelColor(left, y), QColor(Qt::black));
            EXPECT_NEAR(right + 1 - left, bar.metres / perPixel, 1.0) << size.width();
        }
    }
}

// A store of every tile at zoom 2 in one colour.
void MakeStore(const QString& path, const QString& attribution) {
    std::vector<TestTile> tiles;
    for (int x = 0; x < 4; ++x) {
        for (int y = 0; y < 4; ++y) {
            tiles.push_back({2, x, y, QColor(170, 210, 240)});
        }
    }
    ASSERT_TRUE(WriteTileFile(path, attribution, tiles));
}

int Differing(const QImage& a, const QImage& b, const QRect& region) {
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            count += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
        }
    }
    return count;
}

TEST(MapPictureTest, TilesShowUnderTheTrackWithTheirAttribution) {
    QTemporaryDir dir;
    MakeStore(dir.filePath("with.mbtiles"), "(c) Example Streets");
    MakeStore(dir.filePath("without.mbtiles"), "");
    MapTiles with;
    MapTiles without;
    ASSERT_TRUE(with.Open(dir.filePath("with.mbtiles"))) << with.Error().toStdString();
    ASSERT_TRUE(without.Open(dir.filePath("without.mbtiles")));
    MapScene scene;
    scene.pieces.push_back({{At(10, 20, 1), At(15, 40, 3)}});
    const MapView view{2, {10, 20}};
    const QImage grid = Draw(scene, view);
    const QImage tiled = Draw(scene, view, &with);
    const QImage bare = Draw(scene, view, &without);
    // Away from everything drawn on top, the tile's own colour; the grid alone differs.
    EXPECT_EQ(tiled.pixelColor(200, 300), QColor(170, 210, 240));
    EXPECT_NE(grid.pixelColor(200, 300), QColor(170, 210, 240));
    const QRectF area(QPoint(0, 0), kSize);
    EXPECT_EQ(PixelAt(tiled, OnScreen({15, 40}, area, view)), ScaleColour(1));
    const QRect strip(kSize.width() / 2, kSize.height() - 16, kSize.width() / 2, 16);
    EXPECT_GT(Differing(tiled, bare, strip), 20);
    EXPECT_EQ(Differing(tiled, bare, QRect(0, 0, kSize.width() / 2, kSize.height() / 2)), 0);
}

// A street store that ends at zoom 14: a tile of 16 x 16 blocks of 16 pixels, each block its
// own colour, on the tiles around one place.
QColor BlockColour(int column, int row) {
    return QColor(40 + 12 * column, 40 + 12 * row, 200);
}

TEST(MapPictureTest, AStoreEndingAtZoom14IsDrawnScaledUpDeeperNotAsTheGrid) {
    QImage blocks(256, 256, QImage::Format_RGB32);
    {
        QPainter painter(&blocks);
        for (int column = 0; column < 16; ++column) {
            for (int row = 0; row < 16; ++row) {
                painter.fillRect(column * 16, row * 16, 16, 16, BlockColour(column, row));
            }
        }
    }
    const TileIndex middle = TileAt(kView.centre, 14);
    std::vector<TestPicture> pictures;
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
            pictures.push_back({14, middle.x + dx, middle.y + dy, blocks});
        }
    }
    QTemporaryDir dir;
    ASSERT_TRUE(WriteTilePictures(dir.filePath("streets14.mbtiles"), "(c) Streets", pictures));
    MapTiles store;
    ASSERT_TRUE(store.Open(dir.filePath("streets14.mbtiles"))) << store.Error().toStdString();
    // The view's middle on the middle of block 5, 9 of its tile at zoom 14.
    const GeoPoint centre = ToGeo({middle.x * 256.0 + 88, middle.y * 256.0 + 152}, 14);
    struct Case {
        int zoom;
        QPoint offset; // from the picture's middle, in pixels of zoom 14
        int column;    // the block seen there
        int row;
    };
    const std::vector<Case> cases = {
        {15, {0, 0}, 5, 9},
        {15, {-48, 48}, 2, 12},
        {17, {16, -16}, 6, 8},
        {19, {0, 0}, 5, 9},
        {19, {9, 0}, 6, 9},
        // Deeper than the map draws: drawn as the deepest it does.
        {20, {-9, 0}, 4, 9},
    };
    const QRectF area(QPoint(0, 0), kSize);
    for (const Case& c : cases) {
        const MapView view{c.zoom, centre};
        const QImage tiled = Draw(MapScene{}, view, &store);
        const QImage grid = Draw(MapScene{}, view);
        const double scale = std::exp2(std::min(c.zoom, kMaxZoom) - 14);
        const QPointF at = area.center() + QPointF(c.offset) * scale;
        EXPECT_EQ(PixelAt(tiled, at), BlockColour(c.column, c.row))
            << c.zoom << " at " << at.x() << "," << at.y();
        EXPECT_NE(PixelAt(grid, at), BlockColour(c.column, c.row)) << c.zoom;
    }
}

// A marker's label that would cover another label or the colour scale goes to the other side of
// its symbol; where that is taken too it goes to the nearest clear place with a leader line to
// it. A marker hidden under the colour scale has no clear way out, and its label is left off:
// the picture is the one without it, pixel for pixel.
TEST(MapPictureTest, ALabelNeverCoversAnotherOrTheColourScale) {
    const QRectF area(QPoint(0, 0), kSize);
    const QRectF legend = LegendBox(area, TwoPieces());
    ASSERT_FALSE(legend.isEmpty());
    const WorldPoint centre = ToWorld(kView.centre, kView.zoom);
    auto place = [&](const QPointF& at) {
        return ToGeo({centre.x + at.x() - area.center().x(), centre.y + at.y() - area.center().y()},
                     kView.zoom);
    };
    // Just left of the colour scale, so that a label on the right runs under it.
    const GeoPoint underScale = place(QPointF(legend.left() - 30, legend.center().y()));
    const GeoPoint shared{51.9985, 5.002}; // where TwoPieces' barhole label stands
    for (const GeoPoint& at : {shared, underScale}) {
        MapScene labelled = TwoPieces();
        labelled.markers.push_back({MarkerKind::Barhole, at, "Barhole 5: 62 %Gas", {}});
        const MapLayout layout = LayOutMap(area, labelled, kView, QString());
        ASSERT_EQ(layout.markerLabels.size(), 2u) << at.latitude;
        const MarkerLabel& moved = layout.markerLabels[1];
        EXPECT_EQ(moved.marker, 1u);
        EXPECT_TRUE(moved.leader.isNull());
        EXPECT_LT(moved.text.box.right(), OnScreen(at, area, kView).x());
        EXPECT_FALSE(moved.text.box.intersects(layout.markerLabels[0].text.box));
        EXPECT_FALSE(moved.text.box.intersects(legend));
    }
    // Four more on the shared place: once both its sides are taken, the labels stand off it,
    // each with a leader line to it.
    MapScene crowded = TwoPieces();
    for (const char* label :
         {"Barhole 5: 62 %Gas", "Barhole 6: 12 %Gas", "Barhole 7: 3 %Gas", "Barhole 8: 1 %Gas"}) {
        crowded.markers.push_back({MarkerKind::Barhole, shared, label, {}});
    }
    const MapLayout layout = LayOutMap(area, crowded, kView, QString());
    ASSERT_EQ(layout.markerLabels.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(layout.markerLabels[i].leader.isNull(), i < 2) << i;
        EXPECT_EQ(layout.markerLabels[i].marker, i);
        for (size_t j = i + 1; j < 5; ++j) {
            EXPECT_FALSE(
                layout.markerLabels[i].text.box.intersects(layout.markerLabels[j].text.box));
        }
    }
    // Under the middle of the colour scale.
    MapScene hidden = TwoPieces();
    hidden.markers.push_back({MarkerKind::Barhole, place(legend.center()), "Barhole 7", {}});
    MapScene bare = hidden;
    bare.markers.back().label.clear();
    EXPECT_EQ(LayOutMap(area, hidden, kView, QString()).markerLabels.size(), 1u);
    EXPECT_EQ(Draw(hidden), Draw(bare));
}

// Ground of one colour everywhere, so that only what is drawn over it shows: no grid beneath.
class PlainGround : public TileSource {
public:
    PlainGround() : m_tile(256, 256, QImage::Format_RGB32) { m_tile.fill(QColor(225, 232, 214)); }
    bool IsOpen() const override { return true; }
    QImage Tile(int, int, int) override { return m_tile; }
    QString Attribution() const override { return QStringLiteral("(c) Plain ground"); }
    QString Error() const override { return {}; }

private:
    QImage m_tile;
};

// Every pixel a marker's symbol paints (the picture with the markers, their labels blank, against
// the one without them) is the same whatever the labels say: no label, and no line leading to
// one, is painted over any marker, however close the markers stand.
TEST(MapPictureTest, NoLabelIsPaintedOverAMarker) {
    PlainGround ground;
    for (const CrowdedScene& crowded : CrowdedScenes()) {
        MapScene blank = crowded.scene;
        for (Marker& marker : blank.markers) {
            marker.label.clear();
        }
        MapScene none = crowded.scene;
        none.markers.clear();
        const QImage labelled = Draw(crowded.scene, crowded.view, &ground, crowded.size);
        const QImage symbols = Draw(blank, crowded.view, &ground, crowded.size);
        const QImage bare = Draw(none, crowded.view, &ground, crowded.size);
        // The boxes the layout keeps labels out of hold every pixel the symbols paint.
        const MapLayout layout = LayOutMap(QRectF(QPointF(0, 0), QSizeF(crowded.size)),
                                           crowded.scene, crowded.view, ground.Attribution());
        int painted = 0;
        int covered = 0;
        int outside = 0;
        for (int y = 0; y < bare.height(); ++y) {
            for (int x = 0; x < bare.width(); ++x) {
                if (symbols.pixel(x, y) != bare.pixel(x, y)) {
                    ++painted;
                    covered += labelled.pixel(x, y) != symbols.pixel(x, y) ? 1 : 0;
                    const QRectF pixel(x, y, 1, 1);
                    outside +=
                        std::none_of(layout.markers.begin(), layout.markers.end(),
                                     [&pixel](const QRectF& box) { return box.contains(pixel); })
                            ? 1
                            : 0;
                }
            }
        }
        EXPECT_GT(painted, 0) << crowded.what;
        EXPECT_EQ(covered, 0) << crowded.what << ": pixels of markers covered";
        EXPECT_EQ(outside, 0) << crowded.what << ": pixels of markers outside their boxes";
    }
}

TEST(MapPictureTest, NothingIsDrawnOutsideTheArea) {
    MapScene scene = TwoPieces();
    // Positions and labels well past every edge of the view.
    scene.pieces.push_back({{At(51.99, 4.99, 3), At(52.01, 5.01, 4)}});
    scene.markers.push_back(
        {MarkerKind::Alarm, {52.0003, 5.0034}, "A long label past the edge", {}});
    scene.markers.push_back({MarkerKind::GpsAverage, {51.9975, 4.996}, "GPS average", {}});
    for (const QSize& size : {QSize(320, 240), QSize(1600, 1000)}) {
        const QRect area(QPoint(37, 23), size);
        QImage image(size + QSize(80, 60), QImage::Format_RGB32);
        const QColor outside(1, 2, 3);
        image.fill(outside);
        {
            QPainter painter(&image);
            DrawMap(painter, area, scene, kView, nullptr);
        }
        int inside = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const bool untouched = image.pixelColor(x, y) == outside;
                if (!area.contains(x, y)) {
                    ASSERT_TRUE(untouched) << x << "," << y << " at " << size.width();
                } else {
                    inside += untouched ? 0 : 1;
                }
            }
        }
        EXPECT_EQ(inside, size.width() * size.height());
    }
}

TEST(MapPictureTest, FitSceneShowsEveryPositionClearOfTheColourScale) {
    for (const QSize& size : {QSize(320, 240), QSize(1600, 1000)}) {
        // A way as wide as the picture less a little at zoom 16: it would fit at that zoom were
        // it not for the colour scale.
        MapScene scene = TwoPieces();
        const double half = (size.width() - 60) / 2.0 / WorldSize(16) * 360;
        scene.pieces.push_back({{At(52, 5 - half, 1), At(52, 5 + half, 2)}});
        const MapView view = FitScene(scene, QSizeF(size));
        const QRectF area(QPoint(0, 0), size);
        const QRectF legend = LegendBox(area, scene);
        ASSERT_FALSE(legend.isEmpty());
        EXPECT_TRUE(area.contains(legend));
        std::vector<GeoPoint> positions = {scene.markers[0].position};
        for (const TrackPiece& piece : scene.pieces) {
            for (const TrackPoint& point : piece.points) {
                positions.push_back(point.position);
            }
        }
        for (const GeoPoint& position : positions) {
            const QPointF at = OnScreen(position, area, view);
            EXPECT_TRUE(area.contains(at)) << size.width();
            EXPECT_LT(at.x(), legend.left()) << size.width();
        }
    }
    EXPECT_TRUE(LegendBox(QRectF(0, 0, 640, 480), MapScene{}).isEmpty());
}

TEST(MapPictureTest, TheWritersMakeFilesOfTheAskedSizeOrSayWhyNot) {
    QTemporaryDir dir;
    const MapScene scene = TwoPieces();
    const QString png = dir.filePath("map.png");
    EXPECT_EQ(WriteMapPng(png, QSize(500, 300), scene, kView, nullptr), QString());
    const QImage back(png);
    EXPECT_EQ(back.size(), QSize(500, 300));
    EXPECT_EQ(
        back.pixelColor(
            OnScreen(scene.pieces[1].points[0].position, QRectF(0, 0, 500, 300), kView).toPoint()),
        ScaleColour(1));
    const QString pdf = dir.filePath("map.pdf");
    EXPECT_EQ(WriteMapPdf(pdf, QSize(500, 300), scene, kView, nullptr), QString());
    QFile written(pdf);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.read(5) == "%PDF-");
    for (const QString& path : {dir.filePath("missing/map.png"), dir.filePath("missing/map.pdf")}) {
        const QString why = path.endsWith(".png")
                                ? WriteMapPng(path, QSize(500, 300), scene, kView, nullptr)
                                : WriteMapPdf(path, QSize(500, 300), scene, kView, nullptr);
        EXPECT_TRUE(why.contains("cannot be written to " + path)) << why.toStdString();
        EXPECT_FALSE(QFile::exists(path));
    }
    const QString why = WriteMapPng(dir.filePath("none.png"), QSize(0, 300), scene, kView, nullptr);
    EXPECT_TRUE(why.contains("cannot be 0 x 300")) << why.toStdString();
}

} // namespace
