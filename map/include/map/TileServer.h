#pragma once

// An online background: tiles fetched from a tile server by an address template such as
// "https://tiles.example.org/{z}/{x}/{y}.png" ({s} picks one of the subdomains a, b and c),
// kept in a disk cache so that places seen before draw again without the network.
//
// Only the program's window uses it, always through AsyncTiles: Tile() waits for the server (or
// for the timeout) on the thread that calls it, in an event loop of its own. Files and PDFs are
// drawn from offline backgrounds only. Without a network the map keeps its grid and the tiles
// already cached, and Error() says, in one sentence, that the server cannot be reached.
#include "map/TileSource.h"

#include <QDeadlineTimer>
#include <QImage>
#include <QString>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace mapping {

// Why `address` cannot serve as a tile server's address template (not http or https, no host,
// one of {z}, {x}, {y} missing, a placeholder of another name); empty when it can.
QString TileAddressTrouble(const QString& address);

// The address of tile `zoom`, `x`, `y` by a template TileAddressTrouble accepts.
QUrl TileAddress(const QString& address, int zoom, int x, int y);

// Where tiles are cached unless the caller says otherwise: "tiles" in the user's cache folder.
QString DefaultTileCacheFolder();

class TileServer : public TileSource {
public:
    // How long one tile may take before the server counts as out of reach.
    static constexpr int kTimeoutMs = 15000;
    // After the server could not be reached, tiles come from the disk cache alone for this long.
    static constexpr int kRetryMs = 30000;

    TileServer();
    ~TileServer() override;
    TileServer(const TileServer&) = delete;
    TileServer& operator=(const TileServer&) = delete;

    // Takes the address template, the attribution to draw (plain text, as the server's terms
    // ask for it) and the cache folder (made when missing; no disk cache when empty); false with
    // Error() set when the template is not usable. Nothing is fetched yet.
    bool Open(const QString& address, const QString& attribution,
              const QString& cacheFolder = DefaultTileCacheFolder());
    bool IsOpen() const override { return !m_address.isEmpty(); }
    QString Attribution() const override { return m_attribution; }
    QString Error() const override { return m_error; }

    // The tile from the disk cache when it is fresh there, else from the server; a null image
    // when the server has none, cannot be reached (a stale cached copy is used then) or sends
    // something that is not an image.
    QImage Tile(int zoom, int x, int y) override;

private:
    enum class Fetch { Network, CacheOnly };
    QImage Get(const QUrl& url, Fetch fetch, int zoom, int x, int y);
    // Waits for `reply` in an event loop that the thread's quit ends too; false when cut short.
    static bool Wait(QNetworkReply& reply);

    std::unique_ptr<QNetworkAccessManager> m_network;
    QString m_address;
    QString m_attribution;
    QString m_error;
    // Whether any tile came, and how many places had none: a server that answers "no tile" for
    // every place is told of once.
    static constexpr int kPlacesBeforeNoTiles = 8;
    bool m_tilesGiven = false;
    int m_placesWithout = 0;
    QDeadlineTimer m_offline;
};

} // namespace mapping
