#pragma once

// Scenes whose markers crowd each other, the colour scale's corner or a small frame: the cases
// where a label finds its first places taken. The same table is held against the layout's
// rectangles and against the painted pixels.
#include "map/MapScene.h"

#include <QPointF>
#include <QRectF>
#include <QSize>

#include <cstddef>
#include <string>
#include <vector>

struct CrowdedScene {
    std::string what;
    QSize size;
    mapping::MapView view;
    mapping::MapScene scene;
    // How many of the labels at least find room.
    size_t placed = 0;
};

// The place a picture of `area` showing `view` draws at `at`.
mapping::GeoPoint PlaceAt(const QRectF& area, const mapping::MapView& view, const QPointF& at);

std::vector<CrowdedScene> CrowdedScenes();
