#pragma once

// An offline background: the tiles of an MBTiles file (one SQLite database, table
// tiles(zoom_level, tile_column, tile_row, tile_data) with rows counted from the south, table
// metadata(name, value)), read through Qt's SQLite driver and never written to. Decoded tiles
// are kept in a small cache, so that a pan redraws from memory.
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
    // them); a null image when the store has none there or the store is closed. A tile whose
    // bytes are not an image is null as well, and Error() names it.
    QImage Tile(int zoom, int x, int y) override;

private:
    struct Entry {
        uint64_t key = 0;
        QImage image;
    };

    bool Fail(const QString& why);
    // These give the trouble that makes the store unusable, empty when there is none.
    QString Connect() const;
    QString CheckTables() const;
    QString ReadMetadata();
    QImage Read(int zoom, int x, int y, QString& trouble);
    void Remember(uint64_t key, const QImage& image);

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
