#pragma once

// Where a map background's tiles come from: an MBTiles file (MapTiles), a tile server, or a
// cache that reads either off the drawing thread. The picture asks for the tiles it covers and
// draws the grid where a source has none.
#include <QImage>
#include <QString>

namespace mapping {

class TileSource {
public:
    virtual ~TileSource() = default;

    // Whether the source can give tiles at all; a closed or broken one gives the grid alone.
    virtual bool IsOpen() const = 0;
    // The tile at `zoom`, `x`, `y` (numbered from the north-west, as MapProjection numbers
    // them); a null image where the source has none (yet).
    virtual QImage Tile(int zoom, int x, int y) = 0;
    // The background's attribution as plain text, drawn in the map's corner; empty when none.
    virtual QString Attribution() const = 0;
    // The latest trouble, in a sentence; empty while there was none.
    virtual QString Error() const = 0;
};

} // namespace mapping
