#pragma once

// An offline background: the tiles of an MBTiles file (one SQLite database, table
// tiles(zoom_level, tile_column, tile_row, tile_data) with rows counted from the south, table
// metadata(name, value)), read through Qt's SQLite driver and never written to. Decoded tiles
// are kept in a small cache, so that a pan redraws from memory.
//
// Stores end at some zoom (street stores at 14 to 18) while a walk of tens of metres is drawn
// deeper: where the store has no tile, the part of its deepest tile above that covers the place
// is given, scaled up, as web maps draw beyond their stores' zoom. The scaled tile is cached as
// the store's own are, so that it is scaled once, not at every repaint.
//
// A store that cannot be used (no file, not SQLite, no tiles table, tiles that are not images)
// says why in Error() and hands out null images: the map then draws its plain grid.
//
// An instance owns a database connection of its own, and like every Qt SQL connection it is to
// be used from the thread that opened it.
#include "map/TileSource.h"

#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>
#include <utility>

namespace mapping {

class MapTiles : public TileSource {
public:
    // `cacheTiles`: how many decoded tiles (and known gaps) are kept, the least recently used
    // dropped first; at least one.
    explicit MapTiles(size_t cacheTiles = 256);
    ~MapTiles() override;
    MapTiles(const MapTiles&) = delete;
    MapTiles& operator=(const MapTiles&) = delete;

    // Opens `path` read-only, closing whatever was open; false with Error() set when the file
    // cannot serve as a tile store.
    bool Open(const QString& path);
    void Close();
    bool IsOpen() const override { return m_open; }

    // The latest trouble, in a sentence naming the file; empty while there was none.
    QString Error() const override { return m_error; }
    // The store's attribution as plain text (an HTML one loses its markup); empty when it has
    // none.
    QString Attribution() const override { return m_attribution; }
    const QString& Name() const { return m_name; }
    // The zoom range the metadata gives; 0 to 22 when it gives none.
    int MinZoom() const { return m_minZoom; }
    int MaxZoom() const { return m_maxZoom; }

    // The tile at `zoom`, `x`, `y` (numbered from the north-west, as MapProjection numbers
    // them). Where the store has none there, the part of the nearest tile it has above it (up
    // to kScaledLevels zooms up) that covers the place, scaled to a whole tile; a null image
    // when it has neither or the store is closed. A tile whose bytes are not an image counts as
    // none, and Error() names it.
    QImage Tile(int zoom, int x, int y) override;

    // How many zooms above a place a tile is still scaled down to it: a 256-pixel tile's part
    // is then 2 pixels across, and beyond that there is nothing left to show.
    static constexpr int kScaledLevels = 7;

private:
    struct Entry {
        uint64_t key = 0;
        QImage image;
        // The store's own tile; else one scaled from a tile above, or none (null).
        bool own = false;
    };

    bool Fail(const QString& why);
    // These give the trouble that makes the store unusable, empty when there is none.
    QString Connect() const;
    QString CheckTables() const;
    QString ReadMetadata();
    QImage Read(int zoom, int x, int y, QString& trouble);
    // The store's own tile, from the cache or the file; null where it has none.
    QImage Own(int zoom, int x, int y, QString& trouble);
    // The part of the nearest own tile above `zoom`, `x`, `y` that covers it, scaled.
    QImage FromAbove(int zoom, int x, int y, QString& trouble);
    void Remember(uint64_t key, const QImage& image, bool own);

    const size_t m_capacity;
    const QString m_connection;
    QString m_path;
    bool m_open = false;
    QString m_error;
    QString m_attribution;
    QString m_name;
    int m_minZoom = 0;
    int m_maxZoom = 22;
    std::list<Entry> m_recent; // most recently used first
    std::unordered_map<uint64_t, std::list<Entry>::iterator> m_cached;
};

} // namespace mapping
