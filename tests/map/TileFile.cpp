#include "TileFile.h"

#include <QBuffer>
#include <QImage>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <atomic>
#include <map>

QByteArray UniformTile(const QColor& colour) {
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

namespace {

bool Write(QSqlDatabase& db, const QString& attribution, const std::vector<TestTile>& tiles) {
    QSqlQuery query(db);
    if (!query.exec("CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, "
                    "tile_row INTEGER, tile_data BLOB)") ||
        !query.exec("CREATE TABLE metadata (name TEXT, value TEXT)") ||
        !query.exec("INSERT INTO metadata VALUES ('format', 'png')")) {
        return false;
    }
    if (!attribution.isEmpty()) {
        query.prepare("INSERT INTO metadata VALUES ('attribution', ?)");
        query.addBindValue(attribution);
        if (!query.exec()) {
            return false;
        }
    }
    // Many tiles share a colour: each is drawn once.
    std::map<QRgb, QByteArray> drawn;
    db.transaction();
    for (const TestTile& tile : tiles) {
        QByteArray& png = drawn[tile.colour.rgba()];
        if (png.isEmpty()) {
            png = UniformTile(tile.colour);
        }
        query.prepare("INSERT INTO tiles VALUES (?, ?, ?, ?)");
        query.addBindValue(tile.zoom);
        query.addBindValue(tile.x);
        query.addBindValue((1 << tile.zoom) - 1 - tile.y);
        query.addBindValue(png);
        if (!query.exec()) {
            db.rollback();
            return false;
        }
    }
    return db.commit();
}

} // namespace

bool WriteTileFile(const QString& path, const QString& attribution,
                   const std::vector<TestTile>& tiles) {
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("test-tile-file-%1").arg(counter.fetch_add(1));
    bool written = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        written = db.open() && Write(db, attribution, tiles);
    }
    QSqlDatabase::removeDatabase(name);
    return written;
}
