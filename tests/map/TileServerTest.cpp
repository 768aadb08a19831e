// The tile server background against a server in this process: address templates, the tiles
// it fetches, the disk cache that draws them again without the server, and a server that is
// gone or answers badly.
#include "map/TileServer.h"
#include "LocalTileServer.h"
#include "TileFile.h"

#include <QColor>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using mapping::TileAddress;
using mapping::TileAddressTrouble;
using mapping::TileServer;

QColor Middle(const QImage& image) {
    return image.isNull() ? QColor() : image.pixelColor(128, 128);
}

TEST(TileAddressTest, TemplatesAreCheckedBeforeAnythingIsFetched) {
    struct Case {
        const char* address;
        const char* trouble; // empty: usable
    };
    const std::vector<Case> cases = {
        {"https://tiles.example.invalid/{z}/{x}/{y}.png", ""},
        {"  http://{s}.tiles.example.invalid:8080/{z}/{x}/{y}.jpg  ", ""},
        {"https://tiles.example.invalid/map?z={z}&x={x}&y={y}", ""},
        {"", "No tile server address was given."},
        {"ftp://tiles.example.invalid/{z}/{x}/{y}.png", "is not an http or https address."},
        {"file:///srv/tiles/{z}/{x}/{y}.png", "is not an http or https address."},
        {"tiles.example.invalid/{z}/{x}/{y}.png", "is not an http or https address."},
        {"https://tiles.example.invalid/{z}/{x}.png", "lacks {y}: it needs {z}, {x} and {y}."},
        {"https://tiles.example.invalid/tile.png", "lacks {z}, {x}, {y}"},
        {"https://tiles.example.invalid/{zoom}/{x}/{y}.png", "has {zoom}, which is none of"},
        {"https:///{z}/{x}/{y}.png", "names no server."},
        {"https://tiles example/{z}/{x}/{y}.png", "is not a valid address."},
    };
    for (const Case& c : cases) {
        const QString trouble = TileAddressTrouble(QString::fromUtf8(c.address));
        EXPECT_TRUE(QString::fromUtf8(c.trouble).isEmpty() ? trouble.isEmpty()
                                                           : trouble.contains(c.trouble))
            << c.address << ": " << trouble.toStdString();
        TileServer server;
        EXPECT_EQ(server.Open(QString::fromUtf8(c.address), "Tiles", QString()), trouble.isEmpty());
        EXPECT_EQ(server.IsOpen(), trouble.isEmpty());
        EXPECT_EQ(server.Error(), trouble);
    }
}

TEST(TileAddressTest, TheNumbersGoWhereTheTemplateSays) {
    struct Case {
        const char* address;
        int zoom;
        int x;
        int y;
        const char* url;
    };
    const std::vector<Case> cases = {
        {"https://t.example.invalid/{z}/{x}/{y}.png", 17, 65432, 43210,
         "https://t.example.invalid/17/65432/43210.png"},
        {"https://t.example.invalid/map?z={z}&x={x}&y={y}", 0, 0, 0,
         "https://t.example.invalid/map?z=0&x=0&y=0"},
        {"https://{s}.t.example.invalid/{z}/{x}/{y}.png", 2, 0, 0,
         "https://a.t.example.invalid/2/0/0.png"},
        {"https://{s}.t.example.invalid/{z}/{x}/{y}.png", 2, 1, 0,
         "https://b.t.example.invalid/2/1/0.png"},
        {"https://{s}.t.example.invalid/{z}/{x}/{y}.png", 2, 3, 2,
         "https://c.t.example.invalid/2/3/2.png"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TileAddress(QString::fromUtf8(c.address), c.zoom, c.x, c.y),
                  QUrl(QString::fromUtf8(c.url)))
            << c.address;
    }
}

class TileServerTest : public ::testing::Test {
protected:
    QString Template(const LocalTileServer& server) const {
        return server.Base() + QStringLiteral("/{z}/{x}/{y}.png");
    }
    QTemporaryDir m_cache;
};

TEST_F(TileServerTest, TilesAreFetchedAsOurProgramAndDrawnAgainFromTheDiskWithoutTheServer) {
    auto local = std::make_unique<LocalTileServer>();
    ASSERT_TRUE(local->isListening());
    local->Serve("/1/0/1.png", {200, UniformTile(Qt::blue)});
    local->Serve("/1/1/1.png", {200, UniformTile(Qt::green)});
    const QString address = Template(*local);
    {
        TileServer server;
        ASSERT_TRUE(server.Open(address, "  Tiles \n by the test ", m_cache.path()));
        EXPECT_EQ(server.Attribution(), QStringLiteral("Tiles by the test"));
        EXPECT_EQ(Middle(server.Tile(1, 0, 1)), QColor(Qt::blue));
        // A place the server has no tile for is no trouble.
        EXPECT_TRUE(server.Tile(1, 1, 0).isNull());
        EXPECT_EQ(server.Error(), QString());
        // Outside the world nothing is asked.
        EXPECT_TRUE(server.Tile(1, 2, 0).isNull());
        EXPECT_TRUE(server.Tile(-1, 0, 0).isNull());
    }
    EXPECT_EQ(local->Paths(), QStringList({"/1/0/1.png", "/1/1/0.png"}));
    ASSERT_FALSE(local->Agents().isEmpty());
    for (const QString& agent : local->Agents()) {
        EXPECT_TRUE(agent.startsWith("Tavon Datalogging/")) << agent.toStdString();
    }
    local.reset();

    TileServer offline;
    ASSERT_TRUE(offline.Open(address, "Tiles", m_cache.path()));
    EXPECT_EQ(Middle(offline.Tile(1, 0, 1)), QColor(Qt::blue));
    EXPECT_EQ(offline.Error(), QString());
    // Never fetched: nothing to draw, and one sentence why.
    EXPECT_TRUE(offline.Tile(1, 1, 1).isNull());
    EXPECT_TRUE(offline.Error().startsWith("The tile server 127.0.0.1 cannot be reached ("))
        << offline.Error().toStdString();
    EXPECT_TRUE(offline.Error().endsWith("the map shows its grid and the tiles cached before."));
    // The cached tile still draws while the server is out of reach.
    EXPECT_EQ(Middle(offline.Tile(1, 0, 1)), QColor(Qt::blue));
}

TEST_F(TileServerTest, BadAnswersAreNamedAndGiveNoTile) {
    struct Case {
        LocalTileServer::Answer answer;
        const char* error;
    };
    const std::vector<Case> cases = {
        {{500, "broken"}, "answered 500 Trouble for tile 3/2/1."},
        {{403, "go away"}, "answered 403 Trouble for tile 3/2/1."},
        {{200, "<html>not a tile</html>"}, "sent tile 3/2/1, which is not an image."},
    };
    for (const Case& c : cases) {
        LocalTileServer local;
        local.Serve("/3/2/1.png", c.answer);
        QTemporaryDir cache;
        TileServer server;
        ASSERT_TRUE(server.Open(Template(local), "Tiles", cache.path()));
        EXPECT_TRUE(server.Tile(3, 2, 1).isNull());
        EXPECT_TRUE(server.IsOpen());
        EXPECT_EQ(server.Error(), QStringLiteral("The tile server 127.0.0.1 ") + c.error)
            << server.Error().toStdString();
    }
}

// A server with no tile for any place asked (a wrong address answered with 404 throughout) is
// told once enough places were asked; one that gave a tile never is.
TEST_F(TileServerTest, AServerWithoutAnyTileIsToldOf) {
    for (const bool gaveOne : {false, true}) {
        LocalTileServer local;
        local.Serve("/5/0/0.png", {200, UniformTile(Qt::blue)});
        TileServer server;
        ASSERT_TRUE(server.Open(Template(local), "Tiles", m_cache.path()));
        if (gaveOne) {
            EXPECT_FALSE(server.Tile(5, 0, 0).isNull());
        }
        for (int x = 1; x <= 7; ++x) {
            EXPECT_TRUE(server.Tile(5, x, 1).isNull());
            EXPECT_EQ(server.Error(), QString());
        }
        EXPECT_TRUE(server.Tile(5, 8, 1).isNull());
        EXPECT_EQ(server.Error().startsWith("The tile server 127.0.0.1 has no tile for any place"),
                  !gaveOne)
            << server.Error().toStdString();
    }
}

} // namespace
