// Tile stores made here: tiles painted in known colours, stored as the format stores them (rows
// counted from the south), read back; and stores that are missing or broken.
#include "map/MapTiles.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QPainter>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

namespace {

using mapping::MapTiles;

QByteArray Painted(const QColor& colour, const char* format = "PNG") {
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.fillRect(16, 16, 224, 224, colour);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// The colour of tile x, y at zoom 1: a different one for each of the four.
QColor ColourOf(int x, int y) {
    static const QColor colours[2][2] = {{Qt::red, Qt::blue}, {Qt::green, Qt::yellow}};
    return colours[x][y];
}

class TileStore {
public:
    explicit TileStore(const QString& path) : m_path(path) {}

    // Runs `statements` on the file, creating it; the connection is gone afterwards.
    void Run(const QStringList& statements) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kName);
            db.setDatabaseName(m_path);
            ASSERT_TRUE(db.open());
            QSqlQuery query(db);
            for (const QString& statement : statements) {
                ASSERT_TRUE(query.exec(statement)) << statement.toStdString();
            }
        }
        QSqlDatabase::removeDatabase(kName);
    }

    // A tile at `zoom`, `column`, and `row` counted from the south, as the format keeps it.
    void Put(int zoom, int column, int row, const QByteArray& data) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kName);
            db.setDatabaseName(m_path);
            ASSERT_TRUE(db.open());
            QSqlQuery query(db);
            query.prepare(QStringLiteral("INSERT OR REPLACE INTO tiles VALUES (?, ?, ?, ?)"));
            for (const QVariant& value :
                 {QVariant(zoom), QVariant(column), QVariant(row), QVariant(data)}) {
                query.addBindValue(value);
            }
            ASSERT_TRUE(query.exec());
        }
        QSqlDatabase::removeDatabase(kName);
    }

    void MakeFourTiles(const QString& format = QStringLiteral("png")) {
        Run({"CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, "
             "tile_data BLOB, PRIMARY KEY (zoom_level, tile_column, tile_row))",
             "CREATE TABLE metadata (name TEXT, value TEXT)",
             "INSERT INTO metadata VALUES ('name', 'Survey streets')",
             "INSERT INTO metadata VALUES ('format', '" + format + "')",
             "INSERT INTO metadata VALUES ('minzoom', '0')",
             "INSERT INTO metadata VALUES ('maxzoom', '2')",
             "INSERT INTO metadata VALUES ('attribution', "
             "'<a href=\"https://example.invalid/\">&copy; Example Streets</a> &#38; "
             "<b>Survey</b>&nbsp;friends &#x2014; &bogus; &#0;')"});
        for (int x = 0; x < 2; ++x) {
            for (int y = 0; y < 2; ++y) {
                Put(1, x, 1 - y, Painted(ColourOf(x, y)));
            }
        }
    }

private:
    static inline const QString kName = QStringLiteral("tile-store-maker");
    QString m_path;
};

QColor Middle(const QImage& image) {
    return image.pixelColor(128, 128);
}

class MapTilesTest : public ::testing::Test {
protected:
    QString File(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

TEST_F(MapTilesTest, TilesComeBackInTheirColoursNumberedFromTheNorth) {
    TileStore store(File("streets.mbtiles"));
    store.MakeFourTiles();
    MapTiles tiles;
    ASSERT_TRUE(tiles.Open(File("streets.mbtiles"))) << tiles.Error().toStdString();
    EXPECT_EQ(tiles.Error(), QString());
    EXPECT_EQ(tiles.Attribution(),
              QStringLiteral("\u00a9 Example Streets & Survey friends \u2014 &bogus; \ufffd"));
    EXPECT_EQ(tiles.Name(), QStringLiteral("Survey streets"));
    EXPECT_EQ(tiles.MinZoom(), 0);
    EXPECT_EQ(tiles.MaxZoom(), 2);
    for (int x = 0; x < 2; ++x) {
        for (int y = 0; y < 2; ++y) {
            const QImage tile = tiles.Tile(1, x, y);
            ASSERT_FALSE(tile.isNull());
            EXPECT_EQ(tile.size(), QSize(256, 256));
            EXPECT_EQ(Middle(tile), ColourOf(x, y)) << x << "," << y;
            EXPECT_EQ(tile.pixelColor(2, 2), QColor(Qt::white));
        }
    }
    // A tile the store lacks, and numbers outside the world: nothing, and no trouble.
    for (const auto& [z, x, y] : std::vector<std::tuple<int, int, int>>{
             {0, 0, 0}, {1, 2, 0}, {1, 0, -1}, {-1, 0, 0}, {31, 0, 0}}) {
        EXPECT_TRUE(tiles.Tile(z, x, y).isNull());
    }
    EXPECT_EQ(tiles.Error(), QString());
}

TEST_F(MapTilesTest, JpegTilesDecode) {
    TileStore store(File("photo.mbtiles"));
    store.MakeFourTiles(QStringLiteral("jpg"));
    store.Put(2, 3, 0, Painted(QColor(200, 40, 40), "JPEG"));
    MapTiles tiles;
    ASSERT_TRUE(tiles.Open(File("photo.mbtiles"))) << tiles.Error().toStdString();
    const QColor middle = Middle(tiles.Tile(2, 3, 3));
    EXPECT_NEAR(middle.red(), 200, 8);
    EXPECT_NEAR(middle.green(), 40, 8);
    EXPECT_NEAR(middle.blue(), 40, 8);
}

TEST_F(MapTilesTest, TheCacheKeepsTheRecentTilesAndLetsTheOldestGo) {
    TileStore store(File("cache.mbtiles"));
    store.MakeFourTiles();
    MapTiles tiles(2);
    ASSERT_TRUE(tiles.Open(File("cache.mbtiles")));
    EXPECT_EQ(Middle(tiles.Tile(1, 0, 0)), ColourOf(0, 0));
    EXPECT_EQ(Middle(tiles.Tile(1, 1, 0)), ColourOf(1, 0));
    // The file changes under the open store: what is cached is drawn from memory.
    store.Put(1, 0, 1, Painted(Qt::black));
    store.Put(1, 1, 1, Painted(Qt::black));
    EXPECT_EQ(Middle(tiles.Tile(1, 0, 0)), ColourOf(0, 0));
    // Two more tiles push the first two out; read again, they come from the file.
    EXPECT_FALSE(tiles.Tile(1, 0, 1).isNull());
    EXPECT_FALSE(tiles.Tile(1, 1, 1).isNull());
    EXPECT_EQ(Middle(tiles.Tile(1, 0, 0)), QColor(Qt::black));
    EXPECT_EQ(Middle(tiles.Tile(1, 1, 0)), QColor(Qt::black));
}

TEST_F(MapTilesTest, TwoStoresOpenAtOnce) {
    TileStore(File("a.mbtiles")).MakeFourTiles();
    TileStore other(File("b.mbtiles"));
    other.MakeFourTiles();
    other.Put(1, 0, 1, Painted(Qt::magenta));
    MapTiles first;
    MapTiles second;
    ASSERT_TRUE(first.Open(File("a.mbtiles")));
    ASSERT_TRUE(second.Open(File("b.mbtiles")));
    EXPECT_EQ(Middle(first.Tile(1, 0, 0)), ColourOf(0, 0));
    EXPECT_EQ(Middle(second.Tile(1, 0, 0)), QColor(Qt::magenta));
}

TEST_F(MapTilesTest, BrokenStoresSayWhyAndGiveNoTiles) {
    QFile text(File("notes.mbtiles"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("These are not tiles, just a few words in a text file.\n");
    text.close();
    TileStore(File("empty.mbtiles")).Run({"CREATE TABLE other (a INTEGER)"});
    TileStore vector(File("vector.mbtiles"));
    vector.MakeFourTiles(QStringLiteral("pbf"));
    const std::vector<std::pair<QString, QString>> cases = {
        {File("missing.mbtiles"), "does not exist"},
        {File("notes.mbtiles"), "is not an SQLite database"},
        {File("empty.mbtiles"), "has no tiles table"},
        {File("vector.mbtiles"), "holds pbf tiles, which are not images"},
        {m_dir.path(), "cannot be read"}};
    for (const auto& [path, why] : cases) {
        MapTiles tiles;
        EXPECT_FALSE(tiles.Open(path)) << path.toStdString();
        EXPECT_FALSE(tiles.IsOpen());
        EXPECT_TRUE(tiles.Error().contains(why)) << tiles.Error().toStdString();
        EXPECT_TRUE(tiles.Error().contains(path)) << tiles.Error().toStdString();
        EXPECT_TRUE(tiles.Tile(1, 0, 0).isNull());
        EXPECT_TRUE(tiles.Attribution().isEmpty());
    }
}

TEST_F(MapTilesTest, ATileThatIsNotAnImageIsNamedAndTheOthersStillDraw) {
    TileStore store(File("spoiled.mbtiles"));
    store.MakeFourTiles();
    store.Put(1, 1, 1, QByteArray("\x89PNG garbage that decodes to nothing", 36));
    MapTiles tiles;
    ASSERT_TRUE(tiles.Open(File("spoiled.mbtiles")));
    EXPECT_TRUE(tiles.Tile(1, 1, 0).isNull());
    EXPECT_TRUE(tiles.Error().contains("The tile 1/1/0 in")) << tiles.Error().toStdString();
    EXPECT_TRUE(tiles.Error().contains("is not an image"));
    EXPECT_TRUE(tiles.IsOpen());
    EXPECT_EQ(Middle(tiles.Tile(1, 0, 0)), ColourOf(0, 0));
}

// A tile of 16 x 16 blocks of 16 pixels, each block a colour of its own.
QColor BlockColour(int column, int row) {
    return QColor(40 + 12 * column, 40 + 12 * row, 200);
}

QByteArray Blocks() {
    QImage image(256, 256, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int column = 0; column < 16; ++column) {
        for (int row = 0; row < 16; ++row) {
            painter.fillRect(column * 16, row * 16, 16, 16, BlockColour(column, row));
        }
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

TEST_F(MapTilesTest, DeeperThanTheStoreGoesThePartOfTheNearestTileAboveIsScaledUp) {
    // A street store that ends at zoom 14, with one tile at zoom 16 inside its tile there.
    TileStore store(File("streets14.mbtiles"));
    store.Run({"CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, "
               "tile_data BLOB, PRIMARY KEY (zoom_level, tile_column, tile_row))"});
    store.Put(14, 8000, (1 << 14) - 1 - 5000, Blocks());
    store.Put(16, 32002, (1 << 16) - 1 - 20001, Painted(Qt::magenta));
    MapTiles tiles;
    ASSERT_TRUE(tiles.Open(File("streets14.mbtiles"))) << tiles.Error().toStdString();
    struct Case {
        int zoom;
        int x;
        int y;
        QPoint at;     // a pixel of the tile given
        QColor colour; // the colour there; invalid: no tile
    };
    const std::vector<Case> cases = {
        {14, 8000, 5000, {136, 24}, BlockColour(8, 1)},        // the store's own
        {15, 16001, 10000, {16, 16}, BlockColour(8, 0)},       // the top right quarter
        {15, 16001, 10000, {80, 48}, BlockColour(10, 1)},      //
        {18, 128005, 80009, {128, 128}, BlockColour(5, 9)},    // one block, a tile wide
        {18, 128005, 80009, {3, 250}, BlockColour(5, 9)},      //
        {19, 256011, 160019, {250, 3}, BlockColour(5, 9)},     // half a block
        {21, 1024127, 640000, {128, 128}, BlockColour(15, 0)}, // seven zooms up: 2 pixels
        {22, 2048255, 1280000, {128, 128}, QColor()},          // eight: nothing left to scale
        {17, 64004, 40002, {128, 128}, QColor(Qt::magenta)},   // the nearer tile above
        {19, 0, 0, {128, 128}, QColor()},                      // no tile above at all
    };
    for (const Case& c : cases) {
        const QImage tile = tiles.Tile(c.zoom, c.x, c.y);
        if (!c.colour.isValid()) {
            EXPECT_TRUE(tile.isNull()) << c.zoom;
            continue;
        }
        ASSERT_EQ(tile.size(), QSize(256, 256)) << c.zoom;
        EXPECT_EQ(tile.pixelColor(c.at), c.colour)
            << c.zoom << " at " << c.at.x() << "," << c.at.y();
        // Scaled once: asked again, the same image comes from memory.
        EXPECT_EQ(tiles.Tile(c.zoom, c.x, c.y).cacheKey(), tile.cacheKey()) << c.zoom;
    }
    EXPECT_EQ(tiles.Error(), QString());
}

} // namespace
