#include "map/MapLayout.h"

#include "LabelRoom.h"
#include "PictureFrame.h"
#include "map/MapGrid.h"
#include "map/MapPicture.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace mapping {

namespace {

// A label moved off its symbol stands further than this from it, so that its leader line shows.
constexpr double kBesideGap = 3;
// How far from its symbol a label may go, in lines of text: further off, even with its leader,
// it reads as belonging to whatever stands nearer.
constexpr double kFarthestLines = 5;
// The steps a moved label's place is looked for in: every few pixels out from the symbol's
// side, every few up and down.
constexpr double kColumnStep = 6;
constexpr double kRowStep = 3;

// The point of `box` nearest to `point`.
QPointF NearestIn(const QRectF& box, const QPointF& point) {
    return QPointF(std::clamp(point.x(), box.left(), box.right()),
                   std::clamp(point.y(), box.top(), box.bottom()));
}

// `text` at the first of `baselines` where it is free, taken and added to `placed`; nothing
// when it is free at none.
void PlaceAtFirstFree(LabelRoom& room, const QFontMetricsF& metrics, const QString& text,
                      const std::vector<QPointF>& baselines, std::vector<PlacedText>& placed) {
    const double width = metrics.horizontalAdvance(text);
    for (const QPointF& baseline : baselines) {
        const QRectF box = PanelOf(metrics, baseline, width);
        if (room.Free(box)) {
            room.Take(box);
            placed.push_back({text, baseline, box});
            return;
        }
    }
}

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

// A marker whose label is to be placed: its symbol's box, filed in the room under `filed`.
struct Labelled {
    size_t marker;
    QPointF at;
    QRectF symbol;
    size_t filed;
    QString text;
};

// Right of the symbol, else left of it, level with its middle; false when both are taken.
bool PlaceBeside(LabelRoom& room, const QFontMetricsF& metrics, const Labelled& labelled,
                 std::vector<MarkerLabel>& placed) {
    const double width = metrics.horizontalAdvance(labelled.text);
    const double y = labelled.at.y() + metrics.ascent() / 2 - 1;
    // The panel touches the symbol's box, on one side or the other.
    for (const QPointF& baseline : {QPointF(labelled.symbol.right() + 2, y),
                                    QPointF(labelled.symbol.left() - 2 - width, y)}) {
        const QRectF box = PanelOf(metrics, baseline, width);
        if (room.Free(box)) {
            room.Take(box);
            placed.push_back({labelled.marker, {labelled.text, baseline, box}, QLineF()});
            return true;
        }
    }
    return false;
}

// A place a moved label may take beside a symbol: which side, how far out from the symbol's box,
// how far its top stands above or below the symbol's centre, and how near it comes to that
// centre. None of these depends on the label's width, so one list, nearest first, serves every
// marker of the picture.
struct Offer {
    bool right;
    double apart;
    double top;
    double distance;
};

// Moved labels stack up and down beside the symbol rather than over or under it, where they
// would close the way out for the leaders of markers on the same spot.
std::vector<Offer> OffersBeside(double reach, double height, double farthest) {
    std::vector<Offer> offers;
    const int rows = static_cast<int>(std::ceil((farthest + height) / kRowStep));
    for (bool right : {true, false}) {
        for (double apart = kBesideGap + 1; reach + apart <= farthest; apart += kColumnStep) {
            for (int row = -rows; row <= rows; ++row) {
                const double top = -height / 2 + row * kRowStep;
                const double upOrDown = std::max({0.0, top, -(top + height)});
                const double distance = std::hypot(reach + apart, upOrDown);
                if (distance <= farthest) {
                    offers.push_back({right, apart, top, distance});
                }
            }
        }
    }
    std::stable_sort(offers.begin(), offers.end(),
                     [](const Offer& a, const Offer& b) { return a.distance < b.distance; });
    return offers;
}

// The nearest clear place of `offers` beside the symbol, with a leader line from the symbol's
// edge to the label's nearest corner or side; nothing where there is no such place.
void PlaceAway(LabelRoom& room, const QFontMetricsF& metrics, const std::vector<Offer>& offers,
               const Labelled& labelled, std::vector<MarkerLabel>& placed) {
    const double width = metrics.horizontalAdvance(labelled.text);
    const QSizeF panel = PanelOf(metrics, QPointF(0, 0), width).size();
    const QRectF& symbol = labelled.symbol;
    const QPointF& at = labelled.at;
    const double reach = symbol.width() / 2;
    for (const Offer& offer : offers) {
        const double left = offer.right ? symbol.right() + offer.apart
                                        : symbol.left() - offer.apart - panel.width();
        const QRectF box(QPointF(left, at.y() + offer.top), panel);
        if (!room.Free(box)) {
            continue;
        }
        // From where the line toward the label's nearest point leaves the symbol and any
        // others about it, so that it points into them at its own.
        const QPointF end = NearestIn(box, at);
        const QPointF toward = end - at;
        const double square = std::max(std::abs(toward.x()), std::abs(toward.y()));
        const QPointF start = room.OutOfSymbols(at + toward * (reach / square), end);
        const QLineF leader(start, end);
        if (leader.length() >= 1 && room.Clear(leader, labelled.filed)) {
            const QPointF baseline(box.left() + 2, box.top() + 1 + metrics.ascent());
            room.Take(box);
            room.Take(leader);
            placed.push_back({labelled.marker, {labelled.text, baseline, box}, leader});
            return;
        }
    }
}

// Every symbol is taken before any label is placed, so that no label covers a marker placed
// after it; then each label beside its symbol where it can be, and only then the rest moved
// away, so that a label moved off its symbol never takes another's place beside its own.
void PlaceMarkerLabels(LabelRoom& room, const QFontMetricsF& metrics, const Frame& frame,
                       const MapScene& scene, MapLayout& layout) {
    std::vector<Labelled> waiting;
    for (size_t i = 0; i < scene.markers.size(); ++i) {
        const Marker& marker = scene.markers[i];
        if (!Finite(marker.position)) {
            layout.markers.push_back(QRectF());
            continue;
        }
        const QPointF at = frame.At(marker.position);
        const QRectF symbol = SymbolBox(frame.Area(), at);
        layout.markers.push_back(symbol);
        const size_t filed = room.Take(symbol, true);
        // A label of a marker outside the picture would label nothing there is to see.
        if (!marker.label.empty() && frame.Area().contains(at)) {
            waiting.push_back({i, at, symbol, filed, QString::fromStdString(marker.label)});
        }
    }
    std::vector<Labelled> away;
    for (const Labelled& labelled : waiting) {
        if (!PlaceBeside(room, metrics, labelled, layout.markerLabels)) {
            away.push_back(labelled);
        }
    }
    const double reach = SymbolBox(frame.Area(), QPointF()).width() / 2;
    const double height = PanelOf(metrics, QPointF(), 0).height();
    const double farthest = reach + kFarthestLines * metrics.height();
    const std::vector<Offer> offers = OffersBeside(reach, height, farthest);
    // The two stacks beside a spot hold this many labels. A marker with more symbols than that
    // about it stands in a crowd its label could not be led out of legibly, and a search of
    // every place would cost a picture of a thousand markers in a few streets far more than its
    // drawing: it keeps its symbol alone until the map is zoomed in.
    const size_t crowd = 2 * static_cast<size_t>(2 * farthest / height);
    for (const Labelled& labelled : away) {
        const QRectF within(labelled.at - QPointF(farthest, farthest),
                            QSizeF(2 * farthest, 2 * farthest));
        if (!room.MoreSymbolsThan(crowd, within, labelled.filed)) {
            PlaceAway(room, metrics, offers, labelled, layout.markerLabels);
        }
    }
    std::stable_sort(
        layout.markerLabels.begin(), layout.markerLabels.end(),
        [](const MarkerLabel& a, const MarkerLabel& b) { return a.marker < b.marker; });
}

std::vector<GridLine> GridLinesOf(const Frame& frame) {
    std::vector<GridLine> drawn;
    const GridLines lines = GridFor(frame.Bounds(), frame.Area().width());
    if (lines.step <= 0) {
        return drawn;
    }
    for (double latitude : lines.latitudes) {
        drawn.push_back({true, frame.At({latitude, 0}).y(),
                         QString::fromStdString(GridLabel(latitude, true, lines.step))});
    }
    for (double longitude : lines.longitudes) {
        drawn.push_back({false, frame.At({0, longitude}).x(),
                         QString::fromStdString(GridLabel(longitude, false, lines.step))});
    }
    return drawn;
}

// A latitude's label over or under its line at the left end, else at the right; a longitude's
// right or left of its line at the top end, else at the bottom.
void PlaceGridLabels(LabelRoom& room, const QFontMetricsF& metrics, const QRectF& area,
                     const std::vector<GridLine>& lines, std::vector<PlacedText>& placed) {
    for (const GridLine& line : lines) {
        const double width = metrics.horizontalAdvance(line.label);
        std::vector<QPointF> baselines;
        if (line.latitude) {
            const double over = line.at - 3;
            const double under = line.at + 3 + metrics.ascent();
            for (double x : {area.left() + 3, area.right() - 3 - width}) {
                baselines.push_back({x, over});
                baselines.push_back({x, under});
            }
        } else {
            const double right = line.at + 3;
            const double left = line.at - 3 - width;
            for (double y :
                 {area.top() + metrics.ascent() + 2, area.bottom() - metrics.descent() - 2}) {
                baselines.push_back({right, y});
                baselines.push_back({left, y});
            }
        }
        PlaceAtFirstFree(room, metrics, line.label, baselines, placed);
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
    LabelRoom room(area);
    for (const QRectF& box :
         {layout.legend, layout.scaleBar, layout.northArrow, layout.attribution.box}) {
        room.Take(box);
    }
    const Frame frame(area, view);
    PlaceMarkerLabels(room, metrics, frame, scene, layout);
    layout.gridLines = GridLinesOf(frame);
    PlaceGridLabels(room, metrics, area, layout.gridLines, layout.gridLabels);
    return layout;
}

} // namespace mapping
