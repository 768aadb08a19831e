#pragma once

// Where a map picture writes its words: the one layout that DrawMap draws and that anyone can
// hold against the picture. The colour scale, the scale bar, the north arrow and the attribution
// keep their corners, and every marker's symbol keeps its place; no word is written over any of
// them, over another word or past the picture's edge.
//
// A marker's label stands beside its symbol, right or left of it, where that is clear. Where it
// is not (markers a few pixels apart, a marker by the colour scale) it goes to the nearest clear
// place a few lines away, with a thin leader line from the symbol to it that crosses no other
// symbol, word or corner; where there is none, it is left off and the symbol stays (the survey
// record beside the map still lists it).
//
// A grid line's label stands beside one end of its own line, where the line meets the picture's
// edge: a latitude's at its left end or else its right, over or under the line; a longitude's at
// its top end or else its bottom, right or left of the line. Where both ends are taken (a corner
// panel, a marker), it is left off: its neighbours' labels tell the step. A label is never moved
// along its line into the picture, where it would read as another thing's caption.
#include "map/MapScene.h"

#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <cstddef>
#include <vector>

namespace mapping {

// A text of the picture: where its baseline starts and the box it takes (its pale panel, or the
// room its letters take where it has none).
struct PlacedText {
    QString text;
    QPointF baseline;
    QRectF box;
};

struct MarkerLabel {
    // The marker's place in the scene's list.
    size_t marker = 0;
    PlacedText text;
    // From the edge of the symbol to the label's box; a null line where the label stands beside
    // its symbol.
    QLineF leader;
};

struct GridLine {
    bool latitude = false;
    // Where the line runs across the picture: a latitude's y, a longitude's x.
    double at = 0;
    QString label;
};

struct MapLayout {
    QRectF legend;   // the colour scale; empty without readings
    QRectF scaleBar; // the scale bar's panel; empty without a bar
    QRectF northArrow;
    PlacedText attribution; // no text: none
    // Each marker's symbol with the pixel or two its outline's pen and smoothing reach, in the
    // scene's order; empty for a marker without a place.
    std::vector<QRectF> markers;
    // The markers' labels in the scene's order; a marker whose label found no room is not among
    // them. They are placed first: what was noted matters more than where the lines run.
    std::vector<MarkerLabel> markerLabels;
    // The grid drawn beneath (whether tiles then cover it or not), and the labels that found
    // room at an end of their line.
    std::vector<GridLine> gridLines;
    std::vector<PlacedText> gridLabels;
};

// The layout of a picture of `area` showing `scene` as `view` shows it, with `attribution`
// (plain text; empty: none) in its corner.
MapLayout LayOutMap(const QRectF& area, const MapScene& scene, const MapView& view,
                    const QString& attribution);

} // namespace mapping
