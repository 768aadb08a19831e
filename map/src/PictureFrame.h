#pragma once

// What the picture's drawing and its layout both measure by: where positions fall in the area,
// and the size of its text.
#include "map/MapGrid.h"
#include "map/MapProjection.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <algorithm>
#include <cmath>

namespace mapping {

// Where the view's positions fall in the area: world pixels at the view's zoom, moved so that
// the view's centre is the area's.
class Frame {
public:
    Frame(const QRectF& area, const MapView& view)
        : m_area(area), m_zoom(std::clamp(view.zoom, 0, kMaxZoom)),
          m_centre(ToWorld(view.centre, m_zoom)) {}

    const QRectF& Area() const { return m_area; }
    int Zoom() const { return m_zoom; }
    QPointF At(GeoPoint point) const {
        const WorldPoint world = ToWorld(point, m_zoom);
        return m_area.center() + QPointF(world.x - m_centre.x, world.y - m_centre.y);
    }
    // The world pixel at the area's top-left corner.
    WorldPoint TopLeft() const {
        return {m_centre.x - m_area.width() / 2, m_centre.y - m_area.height() / 2};
    }
    GeoBounds Bounds() const {
        const double size = WorldSize(m_zoom);
        const WorldPoint tl = TopLeft();
        const WorldPoint nw{std::clamp(tl.x, 0.0, size), std::clamp(tl.y, 0.0, size)};
        const WorldPoint se{std::clamp(tl.x + m_area.width(), 0.0, size),
                            std::clamp(tl.y + m_area.height(), 0.0, size)};
        const GeoPoint north = ToGeo(nw, m_zoom);
        const GeoPoint south = ToGeo(se, m_zoom);
        return {south.latitude, north.longitude, north.latitude, south.longitude};
    }

private:
    QRectF m_area;
    int m_zoom;
    WorldPoint m_centre;
};

inline bool Finite(GeoPoint point) {
    return std::isfinite(point.latitude) && std::isfinite(point.longitude);
}

// The text size follows the picture, readable on a small one and not shouting on a large one.
inline double TextPixels(const QRectF& area) {
    return std::clamp(std::round(std::min(area.width(), area.height()) / 28), 9.0, 14.0);
}

inline double Margin(const QRectF& area) {
    return std::round(TextPixels(area) * 0.8);
}

inline QFont TextFont(const QRectF& area) {
    QFont font;
    font.setPixelSize(static_cast<int>(TextPixels(area)));
    return font;
}

// The pale panel a text drawn at `baseline` stands on, so that it reads over tiles and track
// alike; `width` is the text's advance.
inline QRectF PanelOf(const QFontMetricsF& metrics, const QPointF& baseline, double width) {
    return QRectF(baseline.x() - 2, baseline.y() - metrics.ascent() - 1, width + 4,
                  metrics.height() + 2);
}
inline QRectF PanelOf(const QFontMetricsF& metrics, const QPointF& baseline, const QString& text) {
    return PanelOf(metrics, baseline, metrics.horizontalAdvance(text));
}

// The size of a marker's symbol, which its label stands beside.
inline double SymbolSize(const QRectF& area) {
    return TextPixels(area) * 0.6;
}

// The box a marker's symbol at `at` paints into: no shape reaches further than its size from
// the centre, and the outline's pen (1.5 pixels) with its smoothing stays within the two pixels
// beyond, so that whatever keeps out of the box never shares a pixel with the symbol.
inline QRectF SymbolBox(const QRectF& area, const QPointF& at) {
    const double reach = SymbolSize(area) + 2;
    return QRectF(at.x() - reach, at.y() - reach, reach * 2, reach * 2);
}

// The north arrow's size and its tip, in the bottom-right corner above the attribution's line.
inline double NorthArrowSize(const QRectF& area) {
    return TextPixels(area) * 1.2;
}
inline QPointF NorthArrowTip(const QRectF& area, const QFontMetricsF& metrics) {
    const double size = NorthArrowSize(area);
    const double margin = Margin(area);
    return QPointF(area.right() - margin - size,
                   area.bottom() - margin * 2 - metrics.height() - size * 2.2);
}
// Where the arrow's "N" stands, under the arrow.
inline QPointF NorthLetterAt(const QRectF& area, const QFontMetricsF& metrics) {
    const double size = NorthArrowSize(area);
    return NorthArrowTip(area, metrics) +
           QPointF(-metrics.horizontalAdvance(QStringLiteral("N")) / 2,
                   size * 1.6 + metrics.ascent());
}

} // namespace mapping
