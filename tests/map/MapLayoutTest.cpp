// The words of a map picture as its layout places them, on screens of two sizes, on the report's
// map page and among crowded markers: every label inside the picture, clear of the colour scale,
// the scale bar, the north arrow, the attribution, every marker and every other label; a marker's
// label beside its marker or led to from it; a grid label at an end of its own line.
#include "map/MapLayout.h"
#include "CrowdedScenes.h"
#include "map/MapPicture.h"

#include <QSizeF>
#include <QString>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace mapping;

TrackPoint At(double latitude, double longitude, double value) {
    TrackPoint point;
    point.position = {latitude, longitude};
    point.value = value;
    return point;
}

// A walk of a few hundred metres with readings and markers along it, some beside each other.
MapScene Walk() {
    MapScene scene;
    scene.gas = "LEL";
    scene.unit = "% LEL";
    TrackPiece piece;
    for (int i = 0; i <= 20; ++i) {
        piece.points.push_back(At(52.0 + i * 0.0001, 5.0 + i * 0.00015, i % 7));
    }
    scene.pieces.push_back(piece);
    scene.markers.push_back({MarkerKind::Barhole, {52.0004, 5.0006}, "Barhole 1: 17 %Gas", {}});
    scene.markers.push_back({MarkerKind::Barhole, {52.00045, 5.0006}, "Barhole 2: 2.4 %LEL", {}});
    scene.markers.push_back({MarkerKind::Alarm, {52.0015, 5.0022}, "Alarm LEL 11.7 % LEL", {}});
    scene.markers.push_back({MarkerKind::ManualReading, {52.0019, 5.0029}, "Kitchen", {}});
    return scene;
}

struct Sized {
    const char* what;
    QSizeF size;
};

// The screens, and the report's map page: an A4 page across at 96 dots an inch less its margins,
// header and footer, less the survey record's column, which takes up to 45 % of it.
std::vector<Sized> Sizes() {
    std::vector<Sized> sizes = {{"1920 x 1080", {1920, 1080}}, {"1280 x 800", {1280, 800}}};
    for (double width = 556; width <= 1032; width += 68) {
        sizes.push_back({"the report's map page", {width, 643}});
    }
    return sizes;
}

std::string Where(const Sized& sized, const MapView& view) {
    return std::string(sized.what) + " " + std::to_string(sized.size.width()) + " wide, zoom " +
           std::to_string(view.zoom) + " at " + std::to_string(view.centre.latitude) + "," +
           std::to_string(view.centre.longitude);
}

// Whether `box` stands beside one end of the line at `line` (a latitude's y, a longitude's x):
// on the line, touching the frame's edge where the line meets it.
bool AtAnEndOf(const QRectF& box, bool latitude, double line, const QRectF& area) {
    if (latitude) {
        const bool beside = std::abs(box.bottom() - line) <= 4 || std::abs(box.top() - line) <= 4;
        return beside && (box.left() <= area.left() + 4 || box.right() >= area.right() - 4);
    }
    const bool beside = std::abs(box.left() - line) <= 4 || std::abs(box.right() - line) <= 4;
    return beside && (box.top() <= area.top() + 4 || box.bottom() >= area.bottom() - 4);
}

double Gap(const QRectF& a, const QRectF& b) {
    const double dx = std::max({0.0, b.left() - a.right(), a.left() - b.right()});
    const double dy = std::max({0.0, b.top() - a.bottom(), a.top() - b.bottom()});
    return std::hypot(dx, dy);
}

bool OnTheEdgeOf(const QRectF& box, const QPointF& point) {
    const bool inside = box.adjusted(-0.01, -0.01, 0.01, 0.01).contains(point);
    return inside && !box.adjusted(0.01, 0.01, -0.01, -0.01).contains(point);
}

// Whether `line` passes through the inside of `box`, looked at every tenth of a pixel.
bool Through(const QLineF& line, const QRectF& box) {
    const int steps = static_cast<int>(std::ceil(line.length() * 10)) + 1;
    for (int i = 0; i <= steps; ++i) {
        const QPointF point = line.pointAt(static_cast<double>(i) / steps);
        if (point.x() > box.left() && point.x() < box.right() && point.y() > box.top() &&
            point.y() < box.bottom()) {
            return true;
        }
    }
    return false;
}

// Every label inside the picture, clear of the corners, of every marker's symbol and of every
// other label; a marker's label beside its own symbol, or tied to it by a leader that runs
// through nothing else; a grid label at an end of its own line.
void ExpectClear(const QRectF& area, const MapLayout& layout, const std::string& where) {
    std::vector<PlacedText> labels;
    for (const MarkerLabel& label : layout.markerLabels) {
        labels.push_back(label.text);
    }
    labels.insert(labels.end(), layout.gridLabels.begin(), layout.gridLabels.end());
    std::vector<std::pair<std::string, QRectF>> corners = {
        {"the colour scale", layout.legend},
        {"the scale bar", layout.scaleBar},
        {"the north arrow", layout.northArrow},
        {"the attribution", layout.attribution.box}};
    for (size_t i = 0; i < labels.size(); ++i) {
        const PlacedText& label = labels[i];
        const std::string named = label.text.toStdString() + " in " + where;
        EXPECT_TRUE(area.contains(label.box)) << named << " runs past the edge";
        for (const auto& [what, box] : corners) {
            EXPECT_FALSE(box.intersects(label.box)) << named << " runs over " << what;
        }
        for (size_t m = 0; m < layout.markers.size(); ++m) {
            EXPECT_FALSE(layout.markers[m].intersects(label.box))
                << named << " runs over marker " << m + 1;
        }
        for (size_t j = i + 1; j < labels.size(); ++j) {
            EXPECT_FALSE(labels[j].box.intersects(label.box))
                << named << " runs into " << labels[j].text.toStdString();
        }
    }
    for (const MarkerLabel& label : layout.markerLabels) {
        const std::string named = label.text.text.toStdString() + " in " + where;
        ASSERT_LT(label.marker, layout.markers.size()) << named;
        const QRectF& symbol = layout.markers[label.marker];
        if (label.leader.isNull()) {
            EXPECT_LE(Gap(symbol, label.text.box), 3) << named << " stands off its marker";
            continue;
        }
        // It points at its marker's centre from outside every symbol's box, its own and those
        // of any markers close about it, and ends on the label's box.
        const QLineF back(label.leader.p2(), symbol.center());
        EXPECT_LT(std::abs(std::sin(back.angleTo(QLineF(label.leader.p2(), label.leader.p1())) *
                                    3.14159265358979 / 180)) *
                      back.length(),
                  0.01)
            << named << ": its leader does not point at its marker";
        EXPECT_LE(label.leader.length(), back.length()) << named;
        EXPECT_FALSE(symbol.adjusted(0.01, 0.01, -0.01, -0.01).contains(label.leader.p1()))
            << named;
        EXPECT_TRUE(OnTheEdgeOf(label.text.box, label.leader.p2())) << named;
        EXPECT_LE(label.leader.length(), 6 * label.text.box.height()) << named;
        for (size_t m = 0; m < layout.markers.size(); ++m) {
            EXPECT_FALSE(Through(label.leader, layout.markers[m]))
                << named << ": its leader runs through marker " << m + 1;
        }
        for (const PlacedText& other : labels) {
            EXPECT_FALSE(Through(label.leader, other.box))
                << named << ": its leader runs through " << other.text.toStdString();
        }
        for (const auto& [what, box] : corners) {
            EXPECT_FALSE(Through(label.leader, box))
                << named << ": its leader runs through " << what;
        }
    }
    // "0°" names both the equator and the prime meridian.
    for (const PlacedText& label : layout.gridLabels) {
        EXPECT_TRUE(std::any_of(layout.gridLines.begin(), layout.gridLines.end(),
                                [&](const GridLine& line) {
                                    return line.label == label.text &&
                                           AtAnEndOf(label.box, line.latitude, line.at, area);
                                }))
            << label.text.toStdString() << " in " << where << " is off its line's ends";
    }
}

TEST(MapLayoutTest, LabelsStayInsideAndClearOfTheCornersTheMarkersAndEachOther) {
    const MapScene scene = Walk();
    for (const Sized& sized : Sizes()) {
        const MapView fitted = FitScene(scene, sized.size);
        for (const MapView& view : {fitted, MapView{fitted.zoom - 1, fitted.centre},
                                    MapView{fitted.zoom + 1, {52.001, 5.0015}},
                                    MapView{3, {51.0, 4.0}}, MapView{12, {-33.9, 18.4}}}) {
            const QRectF area(QPointF(0, 0), sized.size);
            const MapLayout layout =
                LayOutMap(area, scene, view, "(c) Example Streets and friends");
            EXPECT_GE(layout.gridLabels.size(), 2u) << Where(sized, view);
            EXPECT_FALSE(layout.legend.isEmpty());
            EXPECT_FALSE(layout.scaleBar.isEmpty());
            ExpectClear(area, layout, Where(sized, view));
        }
    }
}

// Markers a few pixels apart, on one spot, under the colour scale's corner, in the frame's
// corners, in small and large frames: no label over a marker or another label, each beside its
// marker or led to from it, and as many of them placed as the table says there is room for.
TEST(MapLayoutTest, CrowdedMarkersKeepTheirLabelsOffEveryMarker) {
    for (const CrowdedScene& crowded : CrowdedScenes()) {
        const QRectF area(QPointF(0, 0), QSizeF(crowded.size));
        const MapLayout layout = LayOutMap(area, crowded.scene, crowded.view, "(c) Plain ground");
        ASSERT_EQ(layout.markers.size(), crowded.scene.markers.size()) << crowded.what;
        ExpectClear(area, layout, crowded.what);
        EXPECT_GE(layout.markerLabels.size(), crowded.placed) << crowded.what;
        for (size_t m = 0; m < layout.markers.size(); ++m) {
            EXPECT_TRUE(layout.markers[m].contains(
                PictureAt(area, crowded.view, crowded.scene.markers[m].position)))
                << crowded.what;
        }
    }
}

// The view whose picture of `area` shows `place` at `at`.
MapView Showing(GeoPoint place, const QPointF& at, const QRectF& area, int zoom) {
    const WorldPoint world = ToWorld(place, zoom);
    return MapView{zoom, ToGeo({world.x - (at.x() - area.center().x()),
                                world.y - (at.y() - area.center().y())},
                               zoom)};
}

const PlacedText* Labelled(const MapLayout& layout, const QString& text) {
    for (const PlacedText& label : layout.gridLabels) {
        if (label.text == text) {
            return &label;
        }
    }
    return nullptr;
}

// A grid line running under or beside the colour scale, or through the scale bar: its label sits
// at an end of that line, clear of them; under the colour scale its top end is taken, so it sits
// at the bottom, never slid down the line to just under the scale. Where both ends are taken it is
// left off.
TEST(MapLayoutTest, AGridLabelSitsAtAnEndOfItsOwnLine) {
    MapScene scene = Walk();
    scene.markers.clear();
    struct Case {
        const char* what;
        bool latitude;
        std::function<double(const MapLayout&)> line;
        bool kept;
    };
    const std::vector<Case> cases = {
        {"5 E under the middle of the colour scale", false,
         [](const MapLayout& l) { return l.legend.center().x(); }, true},
        {"5 E just inside the colour scale's left edge", false,
         [](const MapLayout& l) { return l.legend.left() + 3; }, true},
        {"5 E just left of the colour scale", false,
         [](const MapLayout& l) { return l.legend.left() - 3; }, true},
        {"5 E between the colour scale and the edge", false,
         [](const MapLayout& l) { return l.legend.right() + 3; }, true},
        {"52 N through the colour scale", true,
         [](const MapLayout& l) { return l.legend.center().y(); }, true},
        {"52 N just under the colour scale", true,
         [](const MapLayout& l) { return l.legend.bottom() + 3; }, true},
        {"52 N through the scale bar", true,
         [](const MapLayout& l) { return l.scaleBar.center().y(); }, false},
    };
    for (const QSizeF& size :
         {QSizeF(400, 300), QSizeF(640, 480), QSizeF(1280, 800), QSizeF(1920, 1080)}) {
        const QRectF area(QPointF(0, 0), size);
        const MapLayout first =
            LayOutMap(area, scene, Showing({52.0, 5.0}, area.center(), area, 16), QString());
        for (const Case& c : cases) {
            const double line = c.line(first);
            const QPointF crossing =
                c.latitude ? QPointF(area.center().x(), line) : QPointF(line, area.center().y());
            const MapView view = Showing({52.0, 5.0}, crossing, area, 16);
            const MapLayout layout = LayOutMap(area, scene, view, QString());
            const std::string where =
                std::string(c.what) + ", " + std::to_string(size.width()) + " wide";
            ExpectClear(area, layout, where);
            const QString text =
                c.latitude ? QStringLiteral("52\u00b0N") : QStringLiteral("5\u00b0E");
            const auto drawn =
                std::find_if(layout.gridLines.begin(), layout.gridLines.end(),
                             [&text](const GridLine& grid) { return grid.label == text; });
            ASSERT_NE(drawn, layout.gridLines.end()) << where;
            EXPECT_NEAR(drawn->at, line, 1e-6) << where;
            const PlacedText* label = Labelled(layout, text);
            if (c.kept) {
                ASSERT_NE(label, nullptr) << where;
            }
            if (label != nullptr) {
                EXPECT_TRUE(AtAnEndOf(label->box, c.latitude, line, area))
                    << where << ": " << text.toStdString() << " at " << label->box.left() << ","
                    << label->box.top() << " " << label->box.width() << " x "
                    << label->box.height();
            }
        }
    }
}

} // namespace
