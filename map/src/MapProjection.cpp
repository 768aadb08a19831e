#include "map/MapProjection.h"

#include <algorithm>
#include <cmath>

namespace mapping {

namespace {

constexpr double kPi = 3.14159265358979323846;
// The sphere Web Mercator is drawn on: the equatorial radius of WGS 84.
constexpr double kEarthRadius = 6378137.0;
constexpr int kMaxTileZoom = 30;

struct Box {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// The zoom-0 world box of the finite points; false when there is none.
bool BoxOf(const std::vector<GeoPoint>& points, Box& box) {
    bool any = false;
    for (const GeoPoint& point : points) {
        if (!std::isfinite(point.latitude) || !std::isfinite(point.longitude)) {
            continue;
        }
        const WorldPoint world = ToWorld(point, 0);
        if (!any) {
            box = {world.x, world.y, world.x, world.y};
            any = true;
            continue;
        }
        box.left = std::min(box.left, world.x);
        box.right = std::max(box.right, world.x);
        box.top = std::min(box.top, world.y);
        box.bottom = std::max(box.bottom, world.y);
    }
    return any;
}

// The largest zoom at which `span` zoom-0 pixels still fit in `room` pixels.
int ZoomFitting(double span, double room) {
    if (span <= 0) {
        return kMaxZoom;
    }
    // Written so that a viewport of no size, or of no number, gives zoom 0.
    const double zoom = room > 0 ? std::floor(std::log2(room / span)) : 0.0;
    if (!(zoom > 0)) {
        return 0;
    }
    return zoom >= kMaxZoom ? kMaxZoom : static_cast<int>(zoom);
}

} // namespace

double ClampLatitude(double latitude) {
    if (!std::isfinite(latitude)) {
        return 0;
    }
    return std::clamp(latitude, -kMaxLatitude, kMaxLatitude);
}

double WrapLongitude(double longitude) {
    if (!std::isfinite(longitude)) {
        return 0;
    }
    double wrapped = std::fmod(longitude + 180.0, 360.0);
    if (wrapped < 0) {
        wrapped += 360.0;
    }
    return wrapped - 180.0;
}

double WorldSize(double zoom) {
    return kTileSize * std::exp2(zoom);
}

WorldPoint ToWorld(GeoPoint point, double zoom) {
    const double size = WorldSize(zoom);
    const double phi = ClampLatitude(point.latitude) * kPi / 180.0;
    const double x = (WrapLongitude(point.longitude) + 180.0) / 360.0;
    const double y = 0.5 - std::log(std::tan(kPi / 4 + phi / 2)) / (2 * kPi);
    return {x * size, y * size};
}

GeoPoint ToGeo(WorldPoint world, double zoom) {
    const double size = WorldSize(zoom);
    const double longitude = world.x / size * 360.0 - 180.0;
    const double n = kPi * (1 - 2 * world.y / size);
    const double latitude = std::atan(std::sinh(n)) * 180.0 / kPi;
    return {ClampLatitude(latitude), std::isfinite(longitude) ? longitude : 0};
}

TileIndex TileAt(GeoPoint point, int zoom) {
    zoom = std::clamp(zoom, 0, kMaxTileZoom);
    const WorldPoint world = ToWorld(point, zoom);
    const double last = std::exp2(zoom) - 1;
    const double x = std::clamp(std::floor(world.x / kTileSize), 0.0, last);
    const double y = std::clamp(std::floor(world.y / kTileSize), 0.0, last);
    return {zoom, static_cast<int>(x), static_cast<int>(y)};
}

double MetresPerPixel(double latitude, double zoom) {
    const double phi = ClampLatitude(latitude) * kPi / 180.0;
    return 2 * kPi * kEarthRadius * std::cos(phi) / WorldSize(zoom);
}

MapView FitView(const std::vector<GeoPoint>& points, double width, double height, double margin) {
    Box box;
    if (!BoxOf(points, box)) {
        box = {0, 0, kTileSize, kTileSize};
    }
    const double spanX = box.right - box.left;
    const double spanY = box.bottom - box.top;
    MapView view;
    if (spanX <= 0 && spanY <= 0) {
        view.zoom = kPointZoom;
    } else {
        const double roomX = width - 2 * margin;
        const double roomY = height - 2 * margin;
        view.zoom = std::min(ZoomFitting(spanX, roomX), ZoomFitting(spanY, roomY));
    }
    view.centre = ToGeo({(box.left + box.right) / 2, (box.top + box.bottom) / 2}, 0);
    return view;
}

} // namespace mapping
