#include "map/MapTiles.h"

#include "TileKey.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>

namespace mapping {

namespace {

QString NextConnectionName() {
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("tavon-map-tiles-%1").arg(counter.fetch_add(1));
}

// One character reference ("&copy;", "&#169;", "&#xA9;") as text; itself when unknown.
QString Character(const QString& reference) {
    static const QHash<QString, QString> named = {
        {"amp", "&"},        {"lt", "<"},         {"gt", ">"},         {"quot", "\""},
        {"apos", "'"},       {"nbsp", " "},       {"copy", "\u00a9"},  {"reg", "\u00ae"},
        {"ndash", "\u2013"}, {"mdash", "\u2014"}, {"middot", "\u00b7"}};
    const QString name = reference.mid(1, reference.size() - 2);
    if (!name.startsWith(QLatin1Char('#'))) {
        return named.value(name, reference);
    }
    bool ok = false;
    const bool hex = name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive);
    const uint code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
    if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return QStringLiteral("\ufffd");
    }
    const char32_t character = code;
    return QString::fromUcs4(&character, 1);
}

// Attributions are often HTML (a link around the copyright); the map prints them as text.
QString PlainText(const QString& html) {
    QString tagless = html;
    tagless.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    static const QRegularExpression reference(
        QStringLiteral("&(#[0-9]+|#[xX][0-9a-fA-F]+|[a-z]+);"));
    QString text;
    qsizetype done = 0;
    auto matches = reference.globalMatch(tagless);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        text += tagless.mid(done, match.capturedStart() - done);
        text += Character(match.captured());
        done = match.capturedEnd();
    }
    text += tagless.mid(done);
    return text.simplified();
}

int ZoomValue(const QString& text, int fallback) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value >= 0 && value <= kMaxTileZoom ? value : fallback;
}

} // namespace

MapTiles::MapTiles(size_t cacheTiles)
    : m_capacity(std::max<size_t>(cacheTiles, 1)), m_connection(NextConnectionName()) {}

MapTiles::~MapTiles() {
    Close();
}

bool MapTiles::Open(const QString& path) {
    Close();
    m_error.clear();
    m_path = path;
    const QFileInfo info(path);
    if (!info.exists()) {
        return Fail(QStringLiteral("The tile store %1 does not exist.").arg(path));
    }
    if (!info.isFile() || !info.isReadable()) {
        return Fail(QStringLiteral("The tile store %1 cannot be read.").arg(path));
    }
    m_open = true;
    // Each step's handle is gone before a failure closes the connection under it.
    QString trouble = Connect();
    if (trouble.isEmpty()) {
        trouble = CheckTables();
    }
    if (trouble.isEmpty()) {
        trouble = ReadMetadata();
    }
    return trouble.isEmpty() || Fail(trouble);
}

QString MapTiles::Connect() const {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open()) {
        return QStringLiteral("The tile store %1 cannot be opened: %2")
            .arg(m_path, db.lastError().text());
    }
    return {};
}

void MapTiles::Close() {
    m_recent.clear();
    m_cached.clear();
    m_attribution.clear();
    m_name.clear();
    m_minZoom = 0;
    m_maxZoom = 22;
    m_open = false;
    if (QSqlDatabase::contains(m_connection)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool MapTiles::Fail(const QString& why) {
    Close();
    m_error = why;
    return false;
}

QString MapTiles::CheckTables() const {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    // The tiles may be a view over deduplicated images, as many stores keep them.
    if (!query.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'tiles' AND type IN "
                                   "('table', 'view')"))) {
        return QStringLiteral("The tile store %1 is not an SQLite database: %2")
            .arg(m_path, query.lastError().text());
    }
    if (!query.next()) {
        return QStringLiteral("The tile store %1 has no tiles table: it is not an MBTiles file.")
            .arg(m_path);
    }
    return {};
}

QString MapTiles::ReadMetadata() {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    // A store without metadata still has its tiles; it just names no source.
    if (!query.exec(QStringLiteral("SELECT name, value FROM metadata"))) {
        return {};
    }
    while (query.next()) {
        const QString name = query.value(0).toString().trimmed().toLower();
        const QString value = query.value(1).toString();
        if (name == QLatin1String("attribution")) {
            m_attribution = PlainText(value);
        } else if (name == QLatin1String("name")) {
            m_name = value.trimmed();
        } else if (name == QLatin1String("minzoom")) {
            m_minZoom = ZoomValue(value, m_minZoom);
        } else if (name == QLatin1String("maxzoom")) {
            m_maxZoom = ZoomValue(value, m_maxZoom);
        } else if (name == QLatin1String("format")) {
            const QString format = value.trimmed().toLower();
            if (format != QLatin1String("png") && format != QLatin1String("jpg") &&
                format != QLatin1String("jpeg") && format != QLatin1String("webp")) {
                return QStringLiteral("The tile store %1 holds %2 tiles, which are not images.")
                    .arg(m_path, format);
            }
        }
    }
    return {};
}

QImage MapTiles::Tile(int zoom, int x, int y) {
    if (!m_open || !InWorld(zoom, x, y)) {
        return {};
    }
    const uint64_t key = TileKey(zoom, x, y);
    const auto found = m_cached.find(key);
    if (found != m_cached.end()) {
        m_recent.splice(m_recent.begin(), m_recent, found->second);
        return found->second->image;
    }
    QString trouble;
    QImage image = Read(zoom, x, y, trouble);
    const bool own = !image.isNull();
    if (!own && trouble.isEmpty()) {
        image = FromAbove(zoom, x, y, trouble);
    }
    if (!trouble.isEmpty()) {
        Fail(trouble);
        return {};
    }
    Remember(key, image, own);
    return image;
}

QImage MapTiles::Own(int zoom, int x, int y, QString& trouble) {
    const uint64_t key = TileKey(zoom, x, y);
    const auto found = m_cached.find(key);
    if (found != m_cached.end()) {
        m_recent.splice(m_recent.begin(), m_recent, found->second);
        return found->second->own ? found->second->image : QImage();
    }
    const QImage image = Read(zoom, x, y, trouble);
    // A place without a tile of its own is not remembered here: what it is remembered as is
    // what Tile() gives for it, which may be scaled from above.
    if (!image.isNull()) {
        Remember(key, image, true);
    }
    return image;
}

QImage MapTiles::FromAbove(int zoom, int x, int y, QString& trouble) {
    for (int levels = 1; levels <= kScaledLevels && levels <= zoom; ++levels) {
        const QImage above = Own(zoom - levels, x >> levels, y >> levels, trouble);
        if (!trouble.isEmpty()) {
            return {};
        }
        if (above.isNull()) {
            continue;
        }
        // The tile's part for the place: its share of each side, at the place's offset within
        // the tile above (the low bits of its numbers).
        const int width = above.width() >> levels;
        const int height = above.height() >> levels;
        if (width < 1 || height < 1) {
            return {};
        }
        const int mask = (1 << levels) - 1;
        const QImage part = above.copy((x & mask) * width, (y & mask) * height, width, height);
        return part.scaled(above.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return {};
}

QImage MapTiles::Read(int zoom, int x, int y, QString& trouble) {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("SELECT tile_data FROM tiles WHERE zoom_level = ? AND "
                                 "tile_column = ? AND tile_row = ?"));
    query.addBindValue(zoom);
    query.addBindValue(x);
    // The store counts rows from the south.
    query.addBindValue(static_cast<qint64>((int64_t{1} << zoom) - 1 - y));
    if (!query.exec()) {
        trouble = QStringLiteral("The tile store %1 cannot be read: %2")
                      .arg(m_path, query.lastError().text());
        return {};
    }
    if (!query.next()) {
        return {};
    }
    const QImage image = QImage::fromData(query.value(0).toByteArray());
    if (image.isNull()) {
        m_error = QStringLiteral("The tile %1/%2/%3 in %4 is not an image.")
                      .arg(zoom)
                      .arg(x)
                      .arg(y)
                      .arg(m_path);
    }
    return image;
}

void MapTiles::Remember(uint64_t key, const QImage& image, bool own) {
    m_recent.push_front({key, image, own});
    m_cached[key] = m_recent.begin();
    while (m_recent.size() > m_capacity) {
        m_cached.erase(m_recent.back().key);
        m_recent.pop_back();
    }
}

} // namespace mapping
