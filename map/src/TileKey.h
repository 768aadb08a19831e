#pragma once

// The tile numbers a background can hold, and one number for each tile, as the caches key them.
#include <cstdint>

namespace mapping {

// Far deeper than any store or server goes (zoom 22 is centimetres); the key keeps 29 bits for
// each tile number.
constexpr int kMaxTileZoom = 29;

// Whether `zoom`, `x`, `y` name a tile of the world (numbered from the north-west).
inline bool InWorld(int zoom, int x, int y) {
    if (zoom < 0 || zoom > kMaxTileZoom) {
        return false;
    }
    const int64_t count = int64_t{1} << zoom;
    return x >= 0 && y >= 0 && x < count && y < count;
}

// Only for tiles InWorld.
inline uint64_t TileKey(int zoom, int x, int y) {
    return (static_cast<uint64_t>(zoom) << 58) | (static_cast<uint64_t>(x) << 29) |
           static_cast<uint64_t>(y);
}

inline int KeyZoom(uint64_t key) {
    return static_cast<int>(key >> 58);
}
inline int KeyX(uint64_t key) {
    return static_cast<int>((key >> 29) & ((uint64_t{1} << 29) - 1));
}
inline int KeyY(uint64_t key) {
    return static_cast<int>(key & ((uint64_t{1} << 29) - 1));
}

} // namespace mapping
