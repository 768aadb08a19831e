#pragma once

// MBTiles files made by the tests: tiles drawn here, each a PNG of one colour, written with Qt's
// SQLite driver as a tile store is laid out (rows counted from the south).
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

#include <vector>

struct TestTile {
    int zoom = 0;
    int x = 0; // numbered from the north-west, as the map's projection numbers them
    int y = 0;
    QColor colour;
};

// A tile the test drew itself.
struct TestPicture {
    int zoom = 0;
    int x = 0; // numbered from the north-west
    int y = 0;
    QImage image;
};

// A 256-pixel PNG tile of one colour.
QByteArray UniformTile(const QColor& colour);
// Writes `tiles` and the attribution (none when empty) into a new file at `path`; false when it
// could not be written.
bool WriteTileFile(const QString& path, const QString& attribution,
                   const std::vector<TestTile>& tiles);
// The same, of tiles the test drew.
bool WriteTilePictures(const QString& path, const QString& attribution,
                       const std::vector<TestPicture>& tiles);
