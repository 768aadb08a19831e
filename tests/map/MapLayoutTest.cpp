// The words of a map picture as its layout places them, on screens of two sizes and on the
// report's map page: every label inside the picture, clear of the colour scale, the scale bar,
// the north arrow, the attribution and every other label; and a grid line running through the
// scale bar or under the colour scale keeps its label, moved where there is room.
#include "map/MapLayout.h"
#include "map/MapPicture.h"

#include <QSizeF>
#include <QString>
#include <gtest/gtest.h>

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

void ExpectClear(const QRectF& area, const MapLayout& layout, const std::string& where) {
    std::vector<PlacedText> labels = layout.markerLabels;
    labels.insert(labels.end(), layout.gridLabels.begin(), layout.gridLabels.end());
    const std::vector<std::pair<const char*, QRectF>> corners = {
        {"the colour scale", layout.legend},
        {"the scale bar", layout.scaleBar},
        {"the north arrow", layout.northArrow},
        {"the attribution", layout.attribution.box}};
    for (size_t i = 0; i < labels.size(); ++i) {
        const PlacedText& label = labels[i];
        const std::string named = label.text.toStdString() + " in " + where;
        EXPECT_TRUE(area.contains(label.box)) << named << " runs past the edge";
        for (const auto& [what, box] : corners) {
            EXPECT_FALSE(box.intersects(label.box)) << named << " runs under " << what;
        }
        for (size_t j = i + 1; j < labels.size(); ++j) {
            EXPECT_FALSE(labels[j].box.intersects(label.box))
                << named << " runs into " << labels[j].text.toStdString();
        }
    }
}

TEST(MapLayoutTest, LabelsStayInsideAndClearOfTheCornersAndOfEachOther) {
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

TEST(MapLayoutTest, ALineThroughTheScaleBarOrUnderTheColourScaleKeepsItsLabelElsewhere) {
    const MapScene scene = Walk();
    for (const Sized& sized : Sizes()) {
        const QRectF area(QPointF(0, 0), sized.size);
        const int zoom = FitScene(scene, sized.size).zoom;
        const MapView first = Showing({52.0, 5.0}, area.center(), area, zoom);
        const MapLayout before = LayOutMap(area, scene, first, QString());
        // 52°N through the middle of the scale bar, 5°E through the middle of the colour scale.
        const QPointF crossing(before.legend.center().x(), before.scaleBar.center().y());
        const MapView view = Showing({52.0, 5.0}, crossing, area, zoom);
        const MapLayout layout = LayOutMap(area, scene, view, QString());
        ExpectClear(area, layout, Where(sized, view));
        for (const QString& text : {QStringLiteral("52\u00b0N"), QStringLiteral("5\u00b0E")}) {
            const PlacedText* label = Labelled(layout, text);
            ASSERT_NE(label, nullptr) << text.toStdString() << " in " << Where(sized, view);
        }
        EXPECT_GT(Labelled(layout, QStringLiteral("52\u00b0N"))->box.left(),
                  layout.scaleBar.right());
    }
}

} // namespace
