#include "TileFile.h"

#include <QBuffer>
#include <QImage>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <atomic>
#include <map>

namespace {

QByteArray Png(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

struct Row {
    int zoom = 0;
    int x = 0;
    int y = 0;
    QByteArray png;
};

bool Write(QSqlDatabase& db, const QString& attribution, const std::vector<Row>& rows) {
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
    db.transaction();
    for (const Row& row : rows) {
        query.prepare("INSERT INTO tiles VALUES (?, ?, ?, ?)");
        query.addBindValue(row.zoom);
        query.addBindValue(row.x);
        query.addBindValue((1 << row.zoom) - 1 - row.y);
        query.addBindValue(row.png);
        if (!query.exec()) {
            db.rollback();
            return false;
        }
    }
    return db.commit();
}

bool WriteRows(const QString& path, const QString& attribution, const std::vector<Row>& rows) {
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("test-tile-file-%1").arg(counter.fetch_add(1));
    bool written = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        written = db.open() && Write(db, attribution, rows);
    }
    QSqlDatabase::removeDatabase(name);
    return written;
}

} // namespace

QByteArray UniformTile(const QColor& colour) {
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(colour);
    return Png(image);
}

bool WriteTileFile(const QString& path, const QString& attribution,
                   const std::vector<TestTile>& tiles) {
    // Many tiles share a colour: each is drawn once.
    std::map<QRgb, QByteArray> drawn;
    std::vector<Row> rows;
    for (const TestTile& tile : tiles) {
        QByteArray& png = drawn[tile.colour.rgba()];
        if (png.isEmpty()) {
            png = UniformTile(tile.colour);
        }
        rows.push_back({tile.zoom, tile.x, tile.y, png});
    }
    return WriteRows(path, attribution, rows);
}

bool WriteTilePictures(const QString& path, const QString& attribution,
                       const std::vector<TestPicture>& tiles) {
    std::vector<Row> rows;
    for (const TestPicture& tile : tiles) {
        rows.push_back({tile.zoom, tile.x, tile.y, Png(tile.image)});
    }
    return WriteRows(path, attribution, rows);
}
