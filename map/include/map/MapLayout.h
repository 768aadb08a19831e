#pragma once

// Where a map picture writes its words: the one layout that DrawMap draws and that anyone can
// hold against the picture. The colour scale, the scale bar, the north arrow and the attribution
// keep their corners; every label (a marker's words, a grid line's latitude or longitude) goes
// where it stays inside the picture and clear of those and of each label placed before it, on
// whichever side of its symbol or line has the room, and is left off where neither has: the
// symbol or the line stays.
#include "map/MapScene.h"

#include <QPointF>
#include <QRectF>
#include <QString>

#include <vector>

namespace mapping {

// A text of the picture: where its baseline starts and the box it takes (its pale panel, or the
// room its letters take where it has none).
struct PlacedText {
    QString text;
    QPointF baseline;
    QRectF box;
};

struct MapLayout {
    QRectF legend;   // the colour scale; empty without readings
    QRectF scaleBar; // the scale bar's panel; empty without a bar
    QRectF northArrow;
    PlacedText attribution; // no text: none
    // The markers' labels first (what was noted matters more than where the lines run), then
    // the grid's: a marker's or a line's label that found no room is not among them.
    std::vector<PlacedText> markerLabels;
    std::vector<PlacedText> gridLabels;
};

// The layout of a picture of `area` showing `scene` as `view` shows it, with `attribution`
// (plain text; empty: none) in its corner.
MapLayout LayOutMap(const QRectF& area, const MapScene& scene, const MapView& view,
                    const QString& attribution);

} // namespace mapping
