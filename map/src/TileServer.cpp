#include "map/TileServer.h"

#include "TileKey.h"
#include "tavon/Version.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>

namespace mapping {

namespace {

// Tiles are small; a few hundred megabytes hold a region at every street zoom.
constexpr qint64 kCacheBytes = qint64{256} * 1024 * 1024;
const QStringList kPlaceholders = {QStringLiteral("z"), QStringLiteral("x"), QStringLiteral("y"),
                                   QStringLiteral("s")};

const QRegularExpression& Placeholder() {
    static const QRegularExpression pattern(QStringLiteral("\\{([^{}]*)\\}"));
    return pattern;
}

QString Filled(const QString& address, int zoom, int x, int y) {
    static const QString subdomains = QStringLiteral("abc");
    QString filled = address;
    filled.replace(QLatin1String("{z}"), QString::number(zoom));
    filled.replace(QLatin1String("{x}"), QString::number(x));
    filled.replace(QLatin1String("{y}"), QString::number(y));
    // Neighbouring tiles come from different subdomains, as such servers ask.
    filled.replace(QLatin1String("{s}"), subdomains.at((x + y) % 3));
    return filled;
}

QString TileName(int zoom, int x, int y) {
    return QStringLiteral("%1/%2/%3").arg(zoom).arg(x).arg(y);
}

} // namespace

QString TileAddressTrouble(const QString& address) {
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty()) {
        return QStringLiteral("No tile server address was given.");
    }
    QStringList found;
    auto matches = Placeholder().globalMatch(trimmed);
    while (matches.hasNext()) {
        const QString name = matches.next().captured(1);
        if (!kPlaceholders.contains(name)) {
            return QStringLiteral("The tile server address %1 has {%2}, which is none of {z}, "
                                  "{x}, {y} and {s}.")
                .arg(trimmed, name);
        }
        found << name;
    }
    QStringList missing;
    for (const char* needed : {"z", "x", "y"}) {
        if (!found.contains(QLatin1String(needed))) {
            missing << QStringLiteral("{%1}").arg(QLatin1String(needed));
        }
    }
    if (!missing.isEmpty()) {
        return QStringLiteral("The tile server address %1 lacks %2: it needs {z}, {x} and {y}.")
            .arg(trimmed, missing.join(QStringLiteral(", ")));
    }
    const QUrl url(Filled(trimmed, 0, 0, 0), QUrl::StrictMode);
    if (!url.isValid()) {
        return QStringLiteral("The tile server address %1 is not a valid address.").arg(trimmed);
    }
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        return QStringLiteral("The tile server address %1 is not an http or https address.")
            .arg(trimmed);
    }
    if (url.host().isEmpty()) {
        return QStringLiteral("The tile server address %1 names no server.").arg(trimmed);
    }
    return {};
}

QUrl TileAddress(const QString& address, int zoom, int x, int y) {
    return QUrl(Filled(address.trimmed(), zoom, x, y));
}

QString DefaultTileCacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/tiles");
}

TileServer::TileServer() = default;

TileServer::~TileServer() = default;

bool TileServer::Open(const QString& address, const QString& attribution,
                      const QString& cacheFolder) {
    m_address.clear();
    m_attribution.clear();
    m_network.reset();
    m_offline = QDeadlineTimer();
    m_error = TileAddressTrouble(address);
    if (!m_error.isEmpty()) {
        return false;
    }
    m_address = address.trimmed();
    m_attribution = attribution.simplified();
    m_network = std::make_unique<QNetworkAccessManager>();
    if (!cacheFolder.isEmpty()) {
        // The manager owns it from here.
        auto* cache = new QNetworkDiskCache;
        cache->setCacheDirectory(cacheFolder);
        cache->setMaximumCacheSize(kCacheBytes);
        m_network->setCache(cache);
    }
    return true;
}

QImage TileServer::Tile(int zoom, int x, int y) {
    if (!IsOpen() || !InWorld(zoom, x, y)) {
        return {};
    }
    const QUrl url = TileAddress(m_address, zoom, x, y);
    // While the server is out of reach, asking it again for every tile would only make each one
    // wait for the same failure.
    const Fetch fetch = m_offline.hasExpired() ? Fetch::Network : Fetch::CacheOnly;
    return Get(url, fetch, zoom, x, y);
}

QImage TileServer::Get(const QUrl& url, Fetch fetch, int zoom, int x, int y) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Tavon Datalogging/%1").arg(QLatin1String(TAVON_VERSION)));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         fetch == Fetch::CacheOnly ? QNetworkRequest::AlwaysCache
                                                   : QNetworkRequest::PreferCache);
    request.setTransferTimeout(kTimeoutMs);
    const std::unique_ptr<QNetworkReply> reply(m_network->get(request));
    if (!Wait(*reply)) {
        reply->abort();
        return {};
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply->error() == QNetworkReply::NoError) {
        const QImage image = QImage::fromData(reply->readAll());
        if (image.isNull()) {
            m_error = QStringLiteral("The tile server %1 sent tile %2, which is not an image.")
                          .arg(url.host(), TileName(zoom, x, y));
        } else if (fetch == Fetch::Network) {
            m_error.clear();
            m_tilesGiven = true;
        }
        return image;
    }
    if (fetch == Fetch::CacheOnly) {
        return {};
    }
    if (!status.isValid()) {
        m_error = QStringLiteral("The tile server %1 cannot be reached (%2): the map shows its "
                                 "grid and the tiles cached before.")
                      .arg(url.host(), reply->errorString());
        m_offline = QDeadlineTimer(kRetryMs);
        return Get(url, Fetch::CacheOnly, zoom, x, y);
    }
    // A server without a tile for a place (outside its coverage, deeper than it goes) says 404.
    const int code = status.toInt();
    if (code == 404 || code == 410) {
        // One that has none for any place asked is most likely the wrong address: said once
        // enough places were asked, and never of a server that gave tiles.
        if (!m_tilesGiven && ++m_placesWithout == kPlacesBeforeNoTiles) {
            m_error = QStringLiteral("The tile server %1 has no tile for any place asked (%2): "
                                     "the map shows its grid. Check the address in View > Map "
                                     "Background...")
                          .arg(url.host())
                          .arg(code);
        }
        return {};
    }
    const QString reason =
        reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
    m_error = QStringLiteral("The tile server %1 answered %2 for tile %3.")
                  .arg(url.host(), (QString::number(code) + QLatin1Char(' ') + reason).trimmed(),
                       TileName(zoom, x, y));
    return Get(url, Fetch::CacheOnly, zoom, x, y);
}

bool TileServer::Wait(QNetworkReply& reply) {
    if (!reply.isFinished()) {
        QEventLoop loop;
        QObject::connect(&reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return reply.isFinished();
}

} // namespace mapping
