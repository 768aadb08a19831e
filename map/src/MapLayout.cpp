#include "map/MapLayout.h"

#include "PictureFrame.h"
#include "map/MapGrid.h"
#include "map/MapPicture.h"

#include <algorithm>
#include <vector>

namespace mapping {

namespace {

// The picture's room for words: a box is free when it lies inside the area and meets nothing
// taken before it.
class Room {
public:
    explicit Room(const QRectF& area) : m_area(area) {}

    void Take(const QRectF& box) {
        if (!box.isEmpty()) {
            m_taken.push_back(box);
        }
    }

    bool Free(const QRectF& box) const {
        return m_area.contains(box) &&
               std::none_of(m_taken.begin(), m_taken.end(),
                            [&box](const QRectF& taken) { return taken.intersects(box); });
    }

    const std::vector<QRectF>& Taken() const { return m_taken; }

    // `text` at the first of `baselines` where it is free, taken and added to `placed`; nothing
    // when it is free at none.
    void Place(const QFontMetricsF& metrics, const QString& text,
               const std::vector<QPointF>& baselines, std::vector<PlacedText>& placed) {
        const double width = metrics.horizontalAdvance(text);
        for (const QPointF& baseline : baselines) {
            const QRectF box = PanelOf(metrics, baseline, width);
            if (Free(box)) {
                Take(box);
                placed.push_back({text, baseline, box});
                return;
            }
        }
    }

private:
    QRectF m_area;
    std::vector<QRectF> m_taken;
};

QRectF ScaleBarPanel(const QFontMetricsF& metrics, const ScaleBar& bar) {
    if (!(bar.metres > 0)) {
        return QRectF();
    }
    return QRectF(bar.line.x1() - 4, bar.line.y1() - metrics.height() - 8,
                  std::max(bar.line.length(), metrics.horizontalAdvance(bar.label)) + 8,
                  metrics.height() + 12);
}

QRectF NorthArrowBox(const QRectF& area, const QFontMetricsF& metrics) {
    const double size = NorthArrowSize(area);
    const QPointF tip = NorthArrowTip(area, metrics);
    // The outline's pen reaches a pixel past the arrow's corners.
    const QRectF arrow =
        QRectF(tip.x() - size * 0.6, tip.y(), size * 1.2, size * 1.6).adjusted(-1, -1, 1, 1);
    return arrow.united(PanelOf(metrics, NorthLetterAt(area, metrics), QStringLiteral("N")));
}

PlacedText AttributionOf(const QRectF& area, const QFontMetricsF& metrics,
                         const QString& attribution) {
    if (attribution.isEmpty()) {
        return {};
    }
    const QString text = metrics.elidedText(attribution, Qt::ElideRight, area.width() - 8);
    const QPointF baseline(area.right() - 4 - metrics.horizontalAdvance(text),
                           area.bottom() - 2 - metrics.descent());
    return {text, baseline, PanelOf(metrics, baseline, text)};
}

// Beside the symbol, on its right where there is room, else on its left.
void PlaceMarkerLabels(Room& room, const QFontMetricsF& metrics, const Frame& frame,
                       const MapScene& scene, std::vector<PlacedText>& placed) {
    const double size = SymbolSize(frame.Area());
    for (const Marker& marker : scene.markers) {
        if (!Finite(marker.position) || marker.label.empty()) {
            continue;
        }
        const QPointF at = frame.At(marker.position);
        const QString text = QString::fromStdString(marker.label);
        const double y = at.y() + metrics.ascent() / 2 - 1;
        room.Place(metrics, text,
                   {QPointF(at.x() + size + 4, y),
                    QPointF(at.x() - size - 4 - metrics.horizontalAdvance(text), y)},
                   placed);
    }
}

// Where a label along a line may start: at `start`, and just past each box taken in the strip
// it runs along (the box's far side `past` gives), nearest first.
template <typename Past>
std::vector<double> Stops(double start, const QRectF& strip, const std::vector<QRectF>& taken,
                          Past past) {
    std::vector<double> stops = {start};
    for (const QRectF& box : taken) {
        const double beyond = past(box);
        if (beyond > start && box.intersects(strip)) {
            stops.push_back(beyond);
        }
    }
    std::sort(stops.begin(), stops.end());
    return stops;
}

// A latitude's label over its line from the left edge, or under it.
void PlaceLatitudeLabel(Room& room, const QFontMetricsF& metrics, const QRectF& area, double y,
                        const QString& text, std::vector<PlacedText>& placed) {
    const double line = metrics.height();
    const QRectF strip(area.left(), y - 4 - line, area.width(), line * 2 + 8);
    std::vector<QPointF> baselines;
    for (double x : Stops(area.left() + 3, strip, room.Taken(),
                          [](const QRectF& box) { return box.right() + 3; })) {
        baselines.push_back({x, y - 3});
        baselines.push_back({x, y + 3 + metrics.ascent()});
    }
    room.Place(metrics, text, baselines, placed);
}

// A longitude's label right of its line from the top edge, or left of it.
void PlaceLongitudeLabel(Room& room, const QFontMetricsF& metrics, const QRectF& area, double x,
                         const QString& text, std::vector<PlacedText>& placed) {
    const double width = metrics.horizontalAdvance(text);
    const QRectF strip(x - 5 - width, area.top(), width * 2 + 10, area.height());
    std::vector<QPointF> baselines;
    for (double y :
         Stops(area.top() + metrics.ascent() + 2, strip, room.Taken(),
               [&metrics](const QRectF& box) { return box.bottom() + 3 + metrics.ascent(); })) {
        baselines.push_back({x + 3, y});
        baselines.push_back({x - 3 - width, y});
    }
    room.Place(metrics, text, baselines, placed);
}

// Each grid label goes along its line past whatever is in its way.
void PlaceGridLabels(Room& room, const QFontMetricsF& metrics, const Frame& frame,
                     std::vector<PlacedText>& placed) {
    const QRectF& area = frame.Area();
    const GridLines lines = GridFor(frame.Bounds(), area.width());
    if (lines.step <= 0) {
        return;
    }
    for (double latitude : lines.latitudes) {
        PlaceLatitudeLabel(room, metrics, area, frame.At({latitude, 0}).y(),
                           QString::fromStdString(GridLabel(latitude, true, lines.step)), placed);
    }
    for (double longitude : lines.longitudes) {
        PlaceLongitudeLabel(room, metrics, area, frame.At({0, longitude}).x(),
                            QString::fromStdString(GridLabel(longitude, false, lines.step)),
                            placed);
    }
}

} // namespace

MapLayout LayOutMap(const QRectF& area, const MapScene& scene, const MapView& view,
                    const QString& attribution) {
    MapLayout layout;
    if (!area.isValid() || !std::isfinite(area.width()) || !std::isfinite(area.height())) {
        return layout;
    }
    const QFontMetricsF metrics(TextFont(area));
    layout.legend = LegendBox(area, scene);
    layout.scaleBar = ScaleBarPanel(metrics, ScaleBarFor(area, view));
    layout.northArrow = NorthArrowBox(area, metrics);
    layout.attribution = AttributionOf(area, metrics, attribution);
    Room room(area);
    for (const QRectF& box :
         {layout.legend, layout.scaleBar, layout.northArrow, layout.attribution.box}) {
        room.Take(box);
    }
    const Frame frame(area, view);
    PlaceMarkerLabels(room, metrics, frame, scene, layout.markerLabels);
    // The grid's labels, drawn under everything, keep off the markers' symbols too.
    const double reach = SymbolSize(area) + 2;
    for (const Marker& marker : scene.markers) {
        if (Finite(marker.position)) {
            const QPointF at = frame.At(marker.position);
            room.Take(QRectF(at.x() - reach, at.y() - reach, reach * 2, reach * 2));
        }
    }
    PlaceGridLabels(room, metrics, frame, layout.gridLabels);
    return layout;
}

} // namespace mapping
