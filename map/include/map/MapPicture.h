#pragma once

// The map picture, painted with QPainter onto whatever device the caller holds (a widget, a
// QImage, a PDF page): the background (tiles where the store has them, the plain latitude and
// longitude grid beneath), the track coloured by its readings, the markers, the colour scale, a
// scale bar, a north arrow and the background's attribution. Nothing is painted outside the
// area given; its words stand where LayOutMap (MapLayout.h) places them.
#include "map/MapScene.h"

#include <QColor>
#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>

class QPainter;

namespace mapping {

class TileSource;

// The readings the colour scale spans: those not over range and finite. An over-range reading
// never stretches it. Readings that never changed (a gas that never rose) would span nothing:
// their scale runs from 0 (or the reading, below 0) to a tenth of the sensor's range (the
// scene's fullScale; 1 in the gas's unit where that is not known), or to the reading where it
// is higher. A session of clean air reads "0" to "10" on a % LEL scale, its dots the low end's.
struct ReadingRange {
    bool any = false;
    double low = 0;
    double high = 0;
};

ReadingRange RangeOf(const MapScene& scene);
// The scale's colour at `fraction` of the way from its low end (0) to its high end (1), held to
// that span.
QColor ScaleColour(double fraction);
// A reading's dot colour on `range`; with one value only, the low end's colour.
QColor ReadingColour(double value, const ReadingRange& range);
// The colour of an over-range reading, off the scale.
QColor OverRangeColour();

// The scale bar a picture of `area` showing `view` carries: a round length (1, 2 or 5 times a
// power of ten metres) and where it lies, along its bottom edge; no metres when there is none.
struct ScaleBar {
    double metres = 0;
    QString label;
    QLineF line;
};

ScaleBar ScaleBarFor(const QRectF& area, const MapView& view);

// Where `point` falls in a picture of `area` showing `view`: where the picture draws it, and so
// where a click finds it.
QPointF PictureAt(const QRectF& area, const MapView& view, GeoPoint point);

// Where the colour scale lies in a picture of `area`; empty when the scene has no readings.
QRectF LegendBox(const QRectF& area, const MapScene& scene);

// The view showing every position of `scene` in a picture of `size`, clear of the colour scale.
MapView FitScene(const MapScene& scene, const QSizeF& size);

// Paints `scene` as `view` shows it into `area`; `background` may be null (the grid alone). The
// painter's state is as it was afterwards.
void DrawMap(QPainter& painter, const QRectF& area, const MapScene& scene, const MapView& view,
             TileSource* background);

// The picture as a PNG file, or as a one-page PDF of `size` points. Each gives an empty string
// when the file was written, else a sentence naming the file and the trouble.
QString WriteMapPng(const QString& path, const QSize& size, const MapScene& scene,
                    const MapView& view, TileSource* background);
QString WriteMapPdf(const QString& path, const QSize& size, const MapScene& scene,
                    const MapView& view, TileSource* background);

} // namespace mapping
