#include "map/MapPicture.h"

#include "PictureFrame.h"
#include "map/MapLayout.h"
#include "map/SessionMap.h"
#include "map/TileSource.h"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <QPaintEngine>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <limits>

namespace mapping {

namespace {

// More tiles than any sensible picture needs: a larger area is drawn over the grid alone.
constexpr double kMaxTiles = 4096;
constexpr double kDotRadius = 4.5;

const QColor kLand(242, 239, 233);
const QColor kGridLine(200, 196, 188);
const QColor kInk(40, 40, 40);
const QColor kPanel(255, 255, 255, 215);
// A position without a reading of the chosen gas: there, but saying nothing of it.
const QColor kNoReading(170, 170, 170);
const QString kOverRange = QStringLiteral("over range");

// Text on a pale panel, so that it reads over tiles and track alike.
void DrawPanelText(QPainter& painter, const QPointF& baseline, const QString& text) {
    painter.fillRect(PanelOf(QFontMetricsF(painter.font()), baseline, text), kPanel);
    painter.setPen(kInk);
    painter.drawText(baseline, text);
}

// The grid's lines and their labels, where the layout puts them.
void DrawGrid(QPainter& painter, const QRectF& area, const MapLayout& layout) {
    painter.setPen(QPen(kGridLine, 1));
    for (const GridLine& line : layout.gridLines) {
        if (line.latitude) {
            painter.drawLine(QPointF(area.left(), line.at), QPointF(area.right(), line.at));
        } else {
            painter.drawLine(QPointF(line.at, area.top()), QPointF(line.at, area.bottom()));
        }
    }
    painter.setPen(kInk);
    for (const PlacedText& label : layout.gridLabels) {
        painter.drawText(label.baseline, label.text);
    }
}

// The tiles the store has, over the grid: where it has none, the grid shows through.
void DrawTiles(QPainter& painter, const Frame& frame, TileSource& tiles) {
    const QRectF& area = frame.Area();
    const WorldPoint tl = frame.TopLeft();
    const int count = 1 << frame.Zoom();
    const double x0 = std::floor(tl.x / kTileSize);
    const double x1 = std::floor((tl.x + area.width()) / kTileSize);
    const double y0 = std::max(0.0, std::floor(tl.y / kTileSize));
    const double y1 = std::min(count - 1.0, std::floor((tl.y + area.height()) / kTileSize));
    if ((x1 - x0 + 1) * (y1 - y0 + 1) > kMaxTiles) {
        return;
    }
    for (double y = y0; y <= y1; ++y) {
        for (double x = x0; x <= x1; ++x) {
            // Across the date line the world repeats.
            const int column = ((static_cast<int>(x) % count) + count) % count;
            const QImage tile = tiles.Tile(frame.Zoom(), column, static_cast<int>(y));
            if (tile.isNull()) {
                continue;
            }
            const QRectF place(area.left() + x * kTileSize - tl.x,
                               area.top() + y * kTileSize - tl.y, kTileSize, kTileSize);
            painter.drawImage(place, tile);
        }
    }
}

// The reading dots, a circle outlined in ink. They come in thousands but in a few hundred
// colours at most: on a raster device each colour's dot is drawn once and then copied, to the
// nearest pixel, which is many times faster than filling and outlining every circle. A PDF, or a
// painter that scales, gets true circles.
class DotStamps {
public:
    explicit DotStamps(QPainter& painter)
        : m_copy(painter.paintEngine() != nullptr &&
                 painter.paintEngine()->type() == QPaintEngine::Raster &&
                 painter.deviceTransform().type() <= QTransform::TxTranslate) {}

    void Draw(QPainter& painter, const QPointF& at, const QColor& fill) {
        if (!m_copy) {
            painter.setPen(QPen(kInk, 1));
            painter.setBrush(fill);
            painter.drawEllipse(at, kDotRadius, kDotRadius);
            return;
        }
        const QPoint corner(static_cast<int>(std::lround(at.x())) - kHalf,
                            static_cast<int>(std::lround(at.y())) - kHalf);
        painter.drawImage(corner, Stamp(fill));
    }

private:
    static constexpr int kHalf = static_cast<int>(kDotRadius) + 2;

    const QImage& Stamp(const QColor& fill) {
        const auto found = m_stamps.constFind(fill.rgba());
        if (found != m_stamps.cend()) {
            return *found;
        }
        QImage stamp(kHalf * 2, kHalf * 2, QImage::Format_ARGB32_Premultiplied);
        stamp.fill(Qt::transparent);
        QPainter painter(&stamp);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(kInk, 1));
        painter.setBrush(fill);
        painter.drawEllipse(QPointF(kHalf, kHalf), kDotRadius, kDotRadius);
        painter.end();
        return *m_stamps.insert(fill.rgba(), stamp);
    }

    const bool m_copy;
    QHash<QRgb, QImage> m_stamps;
};

void DrawTrack(QPainter& painter, const Frame& frame, const MapScene& scene) {
    painter.setBrush(Qt::NoBrush);
    // Bevelled joins: at two pixels they look as round ones do, and a track of thousands of
    // joins is stroked several times faster without the arcs.
    painter.setPen(QPen(QColor(70, 70, 70, 170), 2, Qt::SolidLine, Qt::RoundCap, Qt::BevelJoin));
    for (const TrackPiece& piece : scene.pieces) {
        QPolygonF line;
        for (const TrackPoint& point : piece.points) {
            if (Finite(point.position)) {
                line << frame.At(point.position);
            }
        }
        painter.drawPolyline(line);
    }
}

// Each reading's dot in its colour. The dots of readings away from the track stand on the
// marker of their record (an alarm's, a manual reading's) and are drawn after the markers' symbols,
// so that a reading taken there keeps its colour on the map.
void DrawDots(QPainter& painter, DotStamps& dots, const Frame& frame,
              const std::vector<TrackPoint>& points, const ReadingRange& range) {
    // A dot wholly outside the area is not drawn at all.
    const double reach = kDotRadius + 2;
    const QRectF visible = frame.Area().adjusted(-reach, -reach, reach, reach);
    for (const TrackPoint& point : points) {
        if (!Finite(point.position)) {
            continue;
        }
        const QPointF at = frame.At(point.position);
        if (!visible.contains(at)) {
            continue;
        }
        dots.Draw(painter, at,
                  !point.hasValue   ? kNoReading
                  : point.overRange ? OverRangeColour()
                                    : ReadingColour(point.value, range));
    }
}

void DrawSymbol(QPainter& painter, MarkerKind kind, const QPointF& at, double size) {
    painter.setPen(QPen(kInk, 1.5));
    QPolygonF shape;
    switch (kind) {
    case MarkerKind::Alarm:
        painter.setBrush(QColor(220, 30, 30));
        shape << at + QPointF(0, -size) << at + QPointF(size, size * 0.8)
              << at + QPointF(-size, size * 0.8);
        painter.drawPolygon(shape);
        return;
    case MarkerKind::Barhole:
        painter.setBrush(QColor(150, 100, 50));
        painter.drawRect(QRectF(at.x() - size * 0.8, at.y() - size * 0.8, size * 1.6, size * 1.6));
        return;
    case MarkerKind::PipelineGasTest:
        painter.setBrush(QColor(40, 70, 160));
        shape << at + QPointF(0, -size) << at + QPointF(size, 0) << at + QPointF(0, size)
              << at + QPointF(-size, 0);
        painter.drawPolygon(shape);
        return;
    case MarkerKind::ManualReading:
        painter.setBrush(Qt::white);
        painter.drawEllipse(at, size * 0.8, size * 0.8);
        return;
    case MarkerKind::GpsAverage:
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(at, size * 0.8, size * 0.8);
        painter.drawLine(at + QPointF(-size, 0), at + QPointF(size, 0));
        painter.drawLine(at + QPointF(0, -size), at + QPointF(0, size));
        return;
    }
}

void DrawMarkerSymbols(QPainter& painter, const Frame& frame, const MapScene& scene) {
    const double size = SymbolSize(frame.Area());
    for (const Marker& marker : scene.markers) {
        if (Finite(marker.position)) {
            DrawSymbol(painter, marker.kind, frame.At(marker.position), size);
        }
    }
}

// Each label on its panel, with the thin line that leads to it from its symbol where it stands
// apart from it.
void DrawMarkerLabels(QPainter& painter, const std::vector<MarkerLabel>& labels) {
    for (const MarkerLabel& label : labels) {
        if (!label.leader.isNull()) {
            painter.setPen(QPen(kInk, 1, Qt::SolidLine, Qt::FlatCap));
            painter.drawLine(label.leader);
        }
        DrawPanelText(painter, label.text.baseline, label.text.text);
    }
}

QString Reading(double value) {
    return QString::number(value, 'g', 4);
}

// The colour scale's place in the top-right corner and its texts; no box when nothing is read.
struct Legend {
    QRectF box;
    ReadingRange range;
    bool overRange = false;
    QString title;
    double bar = 0;
};

Legend LegendFor(const QRectF& area, const MapScene& scene) {
    Legend legend;
    legend.range = RangeOf(scene);
    const ReadingRange& range = legend.range;
    ForEachPoint(scene, [&legend](const TrackPoint& point) {
        legend.overRange = legend.overRange || (point.hasValue && point.overRange);
    });
    if (!range.any && !legend.overRange) {
        return legend;
    }
    const QFontMetricsF metrics(TextFont(area));
    const double line = metrics.height();
    const double margin = Margin(area);
    legend.title = QString::fromStdString(MapGasText(MapGas{scene.gas, scene.unit}));
    legend.bar = range.any ? std::clamp(area.height() * 0.25, line * 2, line * 8) : 0;
    const double texts = std::max({metrics.horizontalAdvance(Reading(range.high)),
                                   metrics.horizontalAdvance(Reading(range.low)),
                                   metrics.horizontalAdvance(kOverRange)});
    const double width =
        std::max(metrics.horizontalAdvance(legend.title), line * 1.5 + 6 + texts) + 8;
    const double height =
        4 + line + (range.any ? legend.bar + 6 : 0) + (legend.overRange ? line + 4 : 0);
    legend.box = QRectF(area.right() - margin - width, area.top() + margin, width, height);
    return legend;
}

// The title, the gradient with its ends' readings, and the over-range swatch when there is such
// a reading.
void DrawLegend(QPainter& painter, const Legend& legend) {
    if (legend.box.isEmpty()) {
        return;
    }
    const QFontMetricsF metrics(painter.font());
    const double line = metrics.height();
    const QRectF& box = legend.box;
    painter.fillRect(box, kPanel);
    painter.setPen(kInk);
    painter.drawText(QPointF(box.left() + 4, box.top() + 2 + metrics.ascent()), legend.title);
    double y = box.top() + 4 + line;
    if (legend.range.any) {
        const QRectF bar(box.left() + 4, y, line * 1.5, legend.bar);
        QLinearGradient gradient(bar.bottomLeft(), bar.topLeft());
        for (int step = 0; step <= 8; ++step) {
            gradient.setColorAt(step / 8.0, ScaleColour(step / 8.0));
        }
        painter.fillRect(bar, gradient);
        painter.drawText(QPointF(bar.right() + 6, bar.top() + metrics.ascent()),
                         Reading(legend.range.high));
        painter.drawText(QPointF(bar.right() + 6, bar.bottom()), Reading(legend.range.low));
        y = bar.bottom() + 6;
    }
    if (legend.overRange) {
        painter.fillRect(QRectF(box.left() + 4, y, line * 1.5, line), OverRangeColour());
        painter.drawText(QPointF(box.left() + 10 + line * 1.5, y + metrics.ascent()), kOverRange);
    }
}

void DrawScaleBar(QPainter& painter, const ScaleBar& bar, const QRectF& panel) {
    if (!(bar.metres > 0)) {
        return;
    }
    const QFontMetricsF metrics(painter.font());
    const double x = bar.line.x1();
    const double y = bar.line.y1();
    const double length = bar.line.length();
    painter.fillRect(panel, kPanel);
    painter.fillRect(QRectF(x, y - 1.5, length, 3), Qt::black);
    painter.fillRect(QRectF(x, y - 6, 2, 6), Qt::black);
    painter.fillRect(QRectF(x + length - 2, y - 6, 2, 6), Qt::black);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(x + 4, y - 5 - metrics.descent()), bar.label);
}

// Mercator keeps north up.
void DrawNorthArrow(QPainter& painter, const QRectF& area) {
    const double size = NorthArrowSize(area);
    const QFontMetricsF metrics(painter.font());
    const QPointF tip = NorthArrowTip(area, metrics);
    QPolygonF arrow;
    arrow << tip << tip + QPointF(size * 0.6, size * 1.6) << tip + QPointF(0, size * 1.2)
          << tip + QPointF(-size * 0.6, size * 1.6);
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(kInk);
    painter.drawPolygon(arrow);
    DrawPanelText(painter, NorthLetterAt(area, metrics), QStringLiteral("N"));
}

} // namespace

ScaleBar ScaleBarFor(const QRectF& area, const MapView& view) {
    ScaleBar bar;
    const int zoom = std::clamp(view.zoom, 0, kMaxZoom);
    const double perPixel = MetresPerPixel(view.centre.latitude, zoom);
    const double room = std::min(area.width() / 4, 200.0);
    if (!(perPixel > 0) || !std::isfinite(perPixel) || !(room > 1)) {
        return bar;
    }
    const double most = room * perPixel;
    const double power = std::pow(10.0, std::floor(std::log10(most)));
    for (double step : {5.0, 2.0, 1.0}) {
        if (step * power <= most) {
            bar.metres = step * power;
            break;
        }
    }
    bar.label = bar.metres >= 1000 ? QStringLiteral("%1 km").arg(bar.metres / 1000)
                                   : QStringLiteral("%1 m").arg(bar.metres);
    const double margin = Margin(area);
    // Above the attribution's line, which runs along the very bottom.
    const double y = std::round(area.bottom() - margin - TextPixels(area) * 1.5);
    const double x = std::round(area.left() + margin);
    bar.line = QLineF(x, y, x + bar.metres / perPixel, y);
    return bar;
}

QPointF PictureAt(const QRectF& area, const MapView& view, GeoPoint point) {
    return Frame(area, view).At(point);
}

QRectF LegendBox(const QRectF& area, const MapScene& scene) {
    return LegendFor(area, scene).box;
}

MapView FitScene(const MapScene& scene, const QSizeF& size) {
    std::vector<GeoPoint> points;
    ForEachPoint(scene, [&points](const TrackPoint& point) { points.push_back(point.position); });
    for (const Marker& marker : scene.markers) {
        points.push_back(marker.position);
    }
    // The positions go left of the colour scale's column, with room enough that the edge dots
    // and the markers' symbols stay whole.
    const QRectF legend = LegendBox(QRectF(QPointF(0, 0), size), scene);
    const double reserve =
        legend.isEmpty() ? 0 : std::min(size.width() - legend.left(), size.width() / 2);
    MapView view = FitView(points, size.width() - reserve, size.height(), 24);
    WorldPoint centre = ToWorld(view.centre, view.zoom);
    centre.x += reserve / 2;
    view.centre = ToGeo(centre, view.zoom);
    return view;
}

void DrawMap(QPainter& painter, const QRectF& area, const MapScene& scene, const MapView& view,
             TileSource* background) {
    if (!area.isValid() || !std::isfinite(area.width()) || !std::isfinite(area.height())) {
        return;
    }
    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setFont(TextFont(area));
    const Frame frame(area, view);
    painter.fillRect(area, kLand);
    const bool tiles = background != nullptr && background->IsOpen();
    const MapLayout layout =
        LayOutMap(area, scene, view, tiles ? background->Attribution() : QString());
    DrawGrid(painter, area, layout);
    if (tiles) {
        DrawTiles(painter, frame, *background);
    }
    DrawTrack(painter, frame, scene);
    const ReadingRange range = RangeOf(scene);
    DotStamps dots(painter);
    for (const TrackPiece& piece : scene.pieces) {
        DrawDots(painter, dots, frame, piece.points, range);
    }
    DrawMarkerSymbols(painter, frame, scene);
    DrawDots(painter, dots, frame, scene.spots, range);
    DrawMarkerLabels(painter, layout.markerLabels);
    DrawLegend(painter, LegendFor(area, scene));
    DrawScaleBar(painter, ScaleBarFor(area, view), layout.scaleBar);
    DrawNorthArrow(painter, area);
    if (!layout.attribution.text.isEmpty()) {
        DrawPanelText(painter, layout.attribution.baseline, layout.attribution.text);
    }
    painter.restore();
}

} // namespace mapping
