#pragma once

// The map's plane: Web Mercator with square 256-pixel tiles, numbered as the tile stores and tile
// servers number them (x eastwards from 180°W, y southwards from the top edge at about 85°N).
// "World pixels" at a zoom count from that top-left corner; the whole world is 256 * 2^zoom
// pixels wide and high.
#include <vector>

namespace mapping {

constexpr double kTileSize = 256.0;
// The latitude at which the Mercator square ends (atan(sinh(pi))).
constexpr double kMaxLatitude = 85.05112878;
constexpr int kMaxZoom = 19;
// A view of one position: close enough to tell which side of a street it was taken on.
constexpr int kPointZoom = 17;

struct GeoPoint {
    double latitude = 0;
    double longitude = 0;
};

struct WorldPoint {
    double x = 0;
    double y = 0;
};

struct TileIndex {
    int zoom = 0;
    int x = 0;
    int y = 0;
};

// What a viewport shows: its middle and an integer zoom, so that tiles are drawn pixel for pixel.
struct MapView {
    int zoom = 0;
    GeoPoint centre;
};

// Latitude held to the Mercator square; anything that is not a number becomes 0.
double ClampLatitude(double latitude);
// Longitude brought into [-180, 180); anything that is not a number becomes 0.
double WrapLongitude(double longitude);
// The width (and height) of the whole world in pixels at `zoom`.
double WorldSize(double zoom);

WorldPoint ToWorld(GeoPoint point, double zoom);
GeoPoint ToGeo(WorldPoint world, double zoom);
// The tile holding `point` at `zoom` (0 to 30); points on the far edges fall in the last tile.
TileIndex TileAt(GeoPoint point, int zoom);
// Ground metres one pixel spans at `latitude` (the scale bar's measure).
double MetresPerPixel(double latitude, double zoom);

// The largest zoom at which every position lies inside a width x height viewport with `margin`
// pixels left free on each side, centred on the positions' box. One position (or all at one
// place) gives kPointZoom; no positions, or nothing finite, give the whole world at the largest
// zoom it fits in.
MapView FitView(const std::vector<GeoPoint>& points, double width, double height,
                double margin = 16);

} // namespace mapping
