// The map's speed at the window's size, 1600x1000:
//  - 10,000 positions and 1,000 markers drawn over the grid (target: under 100 ms);
//  - an MBTiles background of 10,000 tiles (100 x 100 at zoom 15, drawn and stored here) panned
//    across frame by frame at 60 frames a second through AsyncTiles: the slowest frame's drawing
//    (target: well under a frame, under 50 ms), and how many of the tiles the frames asked for
//    had arrived by then.
#include "map/AsyncTiles.h"
#include "map/MapPicture.h"
#include "map/MapTiles.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QVariant>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_set>

namespace {

using namespace mapping;

const QSize kSize(1600, 1000);
constexpr int kStoreZoom = 15;
constexpr int kStoreSide = 100;
// The store's north-west tile: around Greenwich.
constexpr int kFirstX = (1 << kStoreZoom) / 2 - kStoreSide / 2;
constexpr int kFirstY = 10860;

// A fixed sequence, so that every run draws the same survey.
class Steps {
public:
    double Next() {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(m_state >> 11) / static_cast<double>(1ULL << 53);
    }

private:
    uint64_t m_state = 20261208;
};

// A walk of 10,000 positions in 20 pieces through a few streets' worth of town, the readings
// rising and falling along it (a few over range), and 1,000 markers of every kind.
const MapScene& Survey() {
    static const MapScene scene = [] {
        MapScene made;
        made.gas = "CH4";
        made.unit = "ppm";
        Steps steps;
        GeoPoint at{51.4769, -0.0005};
        int64_t time = 1'765'000'000;
        for (int piece = 0; piece < 20; ++piece) {
            TrackPiece track;
            for (int i = 0; i < 500; ++i) {
                at.latitude += (steps.Next() - 0.5) * 0.0004;
                at.longitude += (steps.Next() - 0.45) * 0.0006;
                TrackPoint point;
                point.position = at;
                point.time = time += 2;
                point.value = 2 + 40 * std::abs(std::sin(i / 37.0)) + steps.Next() * 5;
                point.overRange = i % 997 == 0;
                point.record = {piece, i, true, static_cast<uint32_t>(time)};
                track.points.push_back(point);
            }
            made.pieces.push_back(std::move(track));
        }
        const MarkerKind kinds[] = {MarkerKind::Alarm, MarkerKind::Barhole,
                                    MarkerKind::PipelineGasTest, MarkerKind::ManualReading,
                                    MarkerKind::GpsAverage};
        for (int i = 0; i < 1000; ++i) {
            const TrackPoint& near = made.pieces[i % 20].points[(i * 7) % 500];
            Marker marker;
            marker.kind = kinds[i % 5];
            marker.position = near.position;
            marker.label =
                "Barhole " + std::to_string(i) + ": " + std::to_string(i % 100) + " %Gas";
            marker.record = near.record;
            made.markers.push_back(marker);
        }
        return made;
    }();
    return scene;
}

void BM_DrawTenThousandPositionsAndAThousandMarkers(benchmark::State& bench) {
    const MapScene& scene = Survey();
    const MapView view = FitScene(scene, QSizeF(kSize));
    QImage picture(kSize, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : bench) {
        QPainter painter(&picture);
        DrawMap(painter, QRectF(QPointF(0, 0), QSizeF(kSize)), scene, view, nullptr);
        painter.end();
        benchmark::DoNotOptimize(picture.constBits());
    }
    bench.counters["positions"] = 10000;
    bench.counters["markers"] = static_cast<double>(scene.markers.size());
    bench.counters["zoom"] = view.zoom;
}
BENCHMARK(BM_DrawTenThousandPositionsAndAThousandMarkers)->Unit(benchmark::kMillisecond);

QTemporaryDir& Folder() {
    static QTemporaryDir folder;
    return folder;
}

// 10,000 tiles, each a shade of its own with an edge, stored as PNG in one transaction.
QString TenThousandTiles() {
    static QString path;
    if (!path.isEmpty()) {
        return path;
    }
    path = Folder().filePath("pan.mbtiles");
    const QString name = QStringLiteral("map-bench-store");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
        QSqlQuery query(db);
        query.exec("CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row "
                   "INTEGER, tile_data BLOB, PRIMARY KEY (zoom_level, tile_column, tile_row))");
        query.exec("CREATE TABLE metadata (name TEXT, value TEXT)");
        query.exec("INSERT INTO metadata VALUES ('format', 'png')");
        query.exec("INSERT INTO metadata VALUES ('attribution', 'Tiles drawn by the bench')");
        db.transaction();
        query.prepare("INSERT INTO tiles VALUES (?, ?, ?, ?)");
        QImage tile(256, 256, QImage::Format_RGB32);
        for (int x = kFirstX; x < kFirstX + kStoreSide; ++x) {
            for (int y = kFirstY; y < kFirstY + kStoreSide; ++y) {
                tile.fill(QColor::fromHsv((x * 7 + y * 13) % 360, 60, 235));
                QPainter painter(&tile);
                painter.setPen(QColor(120, 120, 120));
                painter.drawRect(0, 0, 255, 255);
                painter.drawLine(0, 128, 255, 128);
                painter.end();
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                tile.save(&buffer, "PNG");
                query.addBindValue(kStoreZoom);
                query.addBindValue(x);
                query.addBindValue((1 << kStoreZoom) - 1 - y);
                query.addBindValue(png);
                query.exec();
            }
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(name);
    return path;
}

// The background as the picture asks it, counting what it was given.
class Counting : public TileSource {
public:
    explicit Counting(TileSource& inner) : m_inner(inner) {}
    bool IsOpen() const override { return m_inner.IsOpen(); }
    QString Attribution() const override { return m_inner.Attribution(); }
    QString Error() const override { return m_inner.Error(); }
    QImage Tile(int zoom, int x, int y) override {
        QImage image = m_inner.Tile(zoom, x, y);
        ++asked;
        if (!image.isNull()) {
            ++drawn;
            seen.insert((int64_t{x} << 32) | y);
        }
        return image;
    }

    int64_t asked = 0;
    int64_t drawn = 0;
    std::unordered_set<int64_t> seen;

private:
    TileSource& m_inner;
};

void BM_PanAcrossTenThousandTiles(benchmark::State& bench) {
    const QString path = TenThousandTiles();
    const MapScene empty;
    QImage picture(kSize, QImage::Format_ARGB32_Premultiplied);
    constexpr int kFrames = 600;
    constexpr double kFrameMs = 1000.0 / 60;
    double slowest = 0;
    double total = 0;
    int64_t arrivals = 0;
    int64_t asked = 0;
    int64_t drawn = 0;
    size_t distinct = 0;
    for (auto _ : bench) {
        AsyncTiles tiles([path] {
            auto store = std::make_unique<MapTiles>();
            store->Open(path);
            return store;
        });
        QObject::connect(&tiles, &AsyncTiles::tilesArrived, [&arrivals] { ++arrivals; });
        Counting counting(tiles);
        // From the store's north-west corner towards its south-east one, 40 and 25 pixels a frame.
        const double startX = kFirstX * kTileSize + kSize.width() / 2.0;
        const double startY = kFirstY * kTileSize + kSize.height() / 2.0;
        for (int frame = 0; frame < kFrames; ++frame) {
            QElapsedTimer clock;
            clock.start();
            QCoreApplication::processEvents();
            MapView view;
            view.zoom = kStoreZoom;
            view.centre = ToGeo({startX + frame * 40.0, startY + frame * 25.0}, kStoreZoom);
            QElapsedTimer drawing;
            drawing.start();
            QPainter painter(&picture);
            DrawMap(painter, QRectF(QPointF(0, 0), QSizeF(kSize)), empty, view, &counting);
            painter.end();
            const double ms = drawing.nsecsElapsed() / 1e6;
            slowest = std::max(slowest, ms);
            total += ms;
            const double left = kFrameMs - clock.nsecsElapsed() / 1e6;
            if (left > 0) {
                QThread::usleep(static_cast<unsigned long>(left * 1000));
            }
        }
        asked = counting.asked;
        drawn = counting.drawn;
        distinct = counting.seen.size();
    }
    bench.counters["frames"] = kFrames;
    bench.counters["slowest_frame_ms"] = slowest;
    bench.counters["mean_frame_ms"] = total / kFrames;
    bench.counters["tiles_asked"] = static_cast<double>(asked);
    bench.counters["tiles_drawn_share"] = asked > 0 ? static_cast<double>(drawn) / asked : 0;
    bench.counters["distinct_tiles_drawn"] = static_cast<double>(distinct);
    bench.counters["arrival_signals"] = static_cast<double>(arrivals);
}
BENCHMARK(BM_PanAcrossTenThousandTiles)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
