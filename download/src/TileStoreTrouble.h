#pragma once

namespace mapping {
class MapTiles;
}

// Says on standard error, once and after drawing, why a map file or a report's map page shows
// the grid where a tile store was asked for: the store's trouble and what the map shows instead.
// Nothing when the store had none.
void TellTileStoreTrouble(const mapping::MapTiles& tiles);
