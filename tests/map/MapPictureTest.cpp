// Map pictures painted into images and read back pixel by pixel: the dots' colours against the
// scale, the gaps between pieces, the over-range colour, the scale bar's length, a tile
// background with its attribution, the area's edges, and the files the writers make.
#include "map/MapPicture.h"
#include "TileFile.h"
#include "map/MapTiles.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>

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

QImage Draw(const MapScene& scene, const MapView& view = kView, MapTiles* tiles = nullptr,
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

// A label that would cover another label or the colour scale is left off: the picture is the
// one without it, pixel for pixel.
TEST(MapPictureTest, ALabelNeverCoversAnotherOrTheColourScale) {
    const QRectF area(QPoint(0, 0), kSize);
    const QRectF legend = LegendBox(area, TwoPieces());
    ASSERT_FALSE(legend.isEmpty());
    // Just left of the colour scale, so that a label runs under it.
    const WorldPoint centre = ToWorld(kView.centre, kView.zoom);
    const QPointF beside(legend.left() - 30, legend.center().y());
    const GeoPoint underScale = ToGeo(
        {centre.x + beside.x() - area.center().x(), centre.y + beside.y() - area.center().y()},
        kView.zoom);
    const GeoPoint shared{51.9985, 5.002}; // where TwoPieces' barhole label stands
    for (const GeoPoint& place : {shared, underScale}) {
        MapScene labelled = TwoPieces();
        labelled.markers.push_back({MarkerKind::Barhole, place, "Barhole 5: 62 %Gas", {}});
        MapScene bare = TwoPieces();
        bare.markers.push_back({MarkerKind::Barhole, place, "", {}});
        EXPECT_EQ(Draw(labelled), Draw(bare)) << place.latitude << "," << place.longitude;
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
