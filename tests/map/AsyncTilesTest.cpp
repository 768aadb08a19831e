// Tiles read on the background's own thread: what drawing gets at once, what arrives later,
// which waiting tiles are read first and which are forgotten, and sources that cannot be opened
// or never answer.
#include "map/AsyncTiles.h"
#include "LocalTileServer.h"
#include "TileFile.h"
#include "map/MapTiles.h"
#include "map/TileServer.h"

#include <QColor>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QVariant>
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

namespace {

using mapping::AsyncTiles;
using mapping::AsyncTilesLimits;
using mapping::TileSource;

constexpr int kPatience = 10000;

QColor ColourOf(int zoom, int x, int y) {
    return QColor(QColor::fromHsv((zoom * 40 + x * 7 + y * 13) % 360, 200, 200).rgb());
}

QImage Painted(const QColor& colour) {
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QColor Middle(const QImage& image) {
    return image.isNull() ? QColor() : image.pixelColor(128, 128);
}

struct Tile {
    int zoom, x, y;
    bool operator==(const Tile& other) const {
        return zoom == other.zoom && x == other.x && y == other.y;
    }
};

std::ostream& operator<<(std::ostream& out, const Tile& tile) {
    return out << tile.zoom << "/" << tile.x << "/" << tile.y;
}

// What the test source saw, kept by the test beyond the source's life.
struct Journal {
    std::mutex mutex;
    std::vector<Tile> asked;
    QThread* madeOn = nullptr;
    QThread* destroyedOn = nullptr;
    // When gated, each read waits for the test: `reading` says one began, `gate` lets it end.
    bool gated = false;
    QSemaphore reading;
    QSemaphore gate;

    std::vector<Tile> Asked() {
        const std::lock_guard<std::mutex> lock(mutex);
        return asked;
    }
};

// Tiles in a colour of their numbers; none where x equals y.
class JournalSource : public TileSource {
public:
    explicit JournalSource(std::shared_ptr<Journal> journal) : m_journal(std::move(journal)) {
        m_journal->madeOn = QThread::currentThread();
    }
    ~JournalSource() override { m_journal->destroyedOn = QThread::currentThread(); }
    bool IsOpen() const override { return true; }
    QString Attribution() const override { return QStringLiteral("Journal tiles"); }
    QString Error() const override { return {}; }
    QImage Tile(int zoom, int x, int y) override {
        {
            const std::lock_guard<std::mutex> lock(m_journal->mutex);
            m_journal->asked.push_back({zoom, x, y});
        }
        if (m_journal->gated) {
            m_journal->reading.release();
            m_journal->gate.acquire();
        }
        return x == y ? QImage() : Painted(ColourOf(zoom, x, y));
    }

private:
    std::shared_ptr<Journal> m_journal;
};

AsyncTiles::Factory JournalFactory(const std::shared_ptr<Journal>& journal) {
    return [journal] { return std::make_unique<JournalSource>(journal); };
}

// Waits until the tile is in memory, as the window does: one repaint per arrival.
QImage Arrived(AsyncTiles& tiles, int zoom, int x, int y) {
    QImage image = tiles.Tile(zoom, x, y);
    // A tile that never comes is null, which the caller's expectation reports.
    (void)QTest::qWaitFor(
        [&] {
            image = tiles.Tile(zoom, x, y);
            return !image.isNull();
        },
        kPatience);
    return image;
}

TEST(AsyncTilesTest, TheFirstAskGivesNothingAndTheTileArrivesFromTheWorker) {
    auto journal = std::make_shared<Journal>();
    {
        AsyncTiles tiles(JournalFactory(journal));
        QSignalSpy arrived(&tiles, &AsyncTiles::tilesArrived);
        EXPECT_TRUE(tiles.Tile(3, 1, 2).isNull());
        ASSERT_TRUE(arrived.wait(kPatience));
        EXPECT_EQ(Middle(tiles.Tile(3, 1, 2)), ColourOf(3, 1, 2));
        // From memory now: the source is not asked again.
        EXPECT_EQ(Middle(tiles.Tile(3, 1, 2)), ColourOf(3, 1, 2));
        EXPECT_EQ(journal->Asked(), std::vector<Tile>({{3, 1, 2}}));
        EXPECT_TRUE(tiles.Ready());
        EXPECT_TRUE(tiles.IsOpen());
        EXPECT_EQ(tiles.Attribution(), QStringLiteral("Journal tiles"));
        // Numbers outside the world are never queued.
        for (const Tile& outside :
             std::vector<Tile>{{3, 8, 0}, {3, 0, -1}, {-1, 0, 0}, {30, 0, 0}}) {
            EXPECT_TRUE(tiles.Tile(outside.zoom, outside.x, outside.y).isNull());
        }
    }
    // Made and destroyed on the worker, never on the caller's thread.
    EXPECT_NE(journal->madeOn, QThread::currentThread());
    EXPECT_EQ(journal->destroyedOn, journal->madeOn);
    EXPECT_EQ(journal->Asked().size(), 1u);
}

TEST(AsyncTilesTest, TheNewestTilesAreReadFirstAndTheOldestForgotten) {
    auto journal = std::make_shared<Journal>();
    journal->gated = true;
    AsyncTilesLimits limits;
    limits.queuedTiles = 3;
    AsyncTiles tiles(JournalFactory(journal), limits);
    tiles.Tile(5, 0, 1);
    ASSERT_TRUE(journal->reading.tryAcquire(1, kPatience));
    // While 0/1 is read the view moves on: 1/2 falls off the queue's end, 2/3 is wanted again.
    for (const Tile& tile :
         std::vector<Tile>{{5, 1, 2}, {5, 2, 3}, {5, 3, 4}, {5, 4, 5}, {5, 2, 3}}) {
        EXPECT_TRUE(tiles.Tile(tile.zoom, tile.x, tile.y).isNull());
    }
    journal->gate.release(100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return journal->Asked().size() == 4; }, kPatience));
    EXPECT_EQ(journal->Asked(), std::vector<Tile>({{5, 0, 1}, {5, 2, 3}, {5, 4, 5}, {5, 3, 4}}));
    EXPECT_EQ(Middle(Arrived(tiles, 5, 3, 4)), ColourOf(5, 3, 4));
    EXPECT_EQ(Middle(tiles.Tile(5, 2, 3)), ColourOf(5, 2, 3));
}

TEST(AsyncTilesTest, APlaceWithoutATileIsAskedAgainOnlyWhenItsGapHasGrownOld) {
    struct Case {
        std::chrono::milliseconds gapLifetime;
        std::vector<Tile> asked;
    };
    const std::vector<Case> cases = {
        {std::chrono::hours(1), {{4, 2, 2}, {4, 2, 3}, {4, 0, 1}}},
        {std::chrono::milliseconds(0), {{4, 2, 2}, {4, 2, 3}, {4, 2, 2}, {4, 0, 1}}},
    };
    for (const Case& c : cases) {
        auto journal = std::make_shared<Journal>();
        journal->gated = true;
        AsyncTilesLimits limits;
        limits.gapLifetime = c.gapLifetime;
        AsyncTiles tiles(JournalFactory(journal), limits);
        tiles.Tile(4, 2, 2);
        ASSERT_TRUE(journal->reading.tryAcquire(1, kPatience));
        journal->gate.release();
        // Once the next tile is being read, the gap before it is known.
        tiles.Tile(4, 2, 3);
        ASSERT_TRUE(journal->reading.tryAcquire(1, kPatience));
        // Newest first: the gap (when it is asked again) before 0/1, which ends the test.
        tiles.Tile(4, 0, 1);
        EXPECT_TRUE(tiles.Tile(4, 2, 2).isNull());
        journal->gate.release(100);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return journal->Asked().size() == c.asked.size(); }, kPatience));
        EXPECT_EQ(journal->Asked(), c.asked) << c.gapLifetime.count();
        EXPECT_EQ(Middle(Arrived(tiles, 4, 0, 1)), ColourOf(4, 0, 1));
    }
}

// An MBTiles file of one tile at zoom 1, x 1, y 0 in `colour`.
void MakeStore(const QString& path, const QColor& colour) {
    ASSERT_TRUE(WriteTileFile(path, "Store of the test", {{1, 1, 0, colour}}));
}

TEST(AsyncTilesTest, AnMBTilesFileIsOpenedAndReadOnTheWorker) {
    QTemporaryDir dir;
    const QString path = dir.filePath("streets.mbtiles");
    MakeStore(path, Qt::darkCyan);
    AsyncTiles tiles([path] {
        auto store = std::make_unique<mapping::MapTiles>();
        store->Open(path);
        return store;
    });
    EXPECT_EQ(Middle(Arrived(tiles, 1, 1, 0)), QColor(Qt::darkCyan));
    // Deeper than the store goes, its tile comes scaled, as the Map tab draws it.
    EXPECT_EQ(Middle(Arrived(tiles, 6, 37, 3)), QColor(Qt::darkCyan));
    EXPECT_TRUE(tiles.IsOpen());
    EXPECT_EQ(tiles.Attribution(), QStringLiteral("Store of the test"));
    EXPECT_EQ(tiles.Error(), QString());
}

TEST(AsyncTilesTest, ASourceThatCannotBeOpenedSaysWhyAndIsNeverAsked) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.mbtiles");
    struct Case {
        AsyncTiles::Factory factory;
        QString error;
    };
    const std::vector<Case> cases = {
        {[] { return std::unique_ptr<TileSource>(); },
         QStringLiteral("The map background could not be opened.")},
        {[missing] {
             auto store = std::make_unique<mapping::MapTiles>();
             store->Open(missing);
             return store;
         },
         QStringLiteral("The tile store %1 does not exist.").arg(missing)},
    };
    for (const Case& c : cases) {
        AsyncTiles tiles(c.factory);
        QSignalSpy status(&tiles, &AsyncTiles::statusChanged);
        ASSERT_TRUE(QTest::qWaitFor([&] { return tiles.Ready(); }, kPatience));
        EXPECT_FALSE(tiles.IsOpen());
        EXPECT_EQ(tiles.Error(), c.error);
        EXPECT_EQ(tiles.Attribution(), QString());
        EXPECT_TRUE(tiles.Tile(1, 0, 0).isNull());
        EXPECT_TRUE(status.count() == 1 || status.wait(kPatience));
    }
}

TEST(AsyncTilesTest, ClosingDoesNotWaitForAServerThatNeverAnswers) {
    LocalTileServer local;
    local.Mute();
    const QString address = local.Base() + QStringLiteral("/{z}/{x}/{y}.png");
    QTemporaryDir cache;
    auto tiles = std::make_unique<AsyncTiles>([address, folder = cache.path()] {
        auto server = std::make_unique<mapping::TileServer>();
        server->Open(address, QStringLiteral("Tiles"), folder);
        return server;
    });
    tiles->Tile(2, 1, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !local.Paths().isEmpty(); }, kPatience));
    EXPECT_EQ(local.Paths(), QStringList({"/2/1/1.png"}));
    tiles.reset();
}

} // namespace
