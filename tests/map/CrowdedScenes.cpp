#include "CrowdedScenes.h"

#include "map/MapPicture.h"

#include <string>

namespace {

using namespace mapping;

const MapView kView{17, {52.0, 5.0}};

// Readings far outside every view, so that the colour scale is drawn but no dot is in the way.
MapScene WithReadings() {
    MapScene scene;
    scene.gas = "CH4";
    scene.unit = "% LEL";
    TrackPoint low;
    low.position = {10.0, 10.0};
    low.value = 0;
    TrackPoint high = low;
    high.position = {10.001, 10.001};
    high.value = 20;
    scene.pieces.push_back({{low, high}});
    return scene;
}

const MarkerKind kKinds[] = {MarkerKind::Barhole, MarkerKind::Alarm, MarkerKind::PipelineGasTest,
                             MarkerKind::ManualReading, MarkerKind::GpsAverage};

// Markers at `offsets` from `from` in the picture, every one labelled.
CrowdedScene Markers(const std::string& what, QSize size, const QPointF& from,
                     const std::vector<QPointF>& offsets, size_t placed) {
    CrowdedScene crowded{what, size, kView, WithReadings(), placed};
    const QRectF area(QPointF(0, 0), QSizeF(size));
    for (size_t i = 0; i < offsets.size(); ++i) {
        Marker marker;
        marker.kind = kKinds[i % 5];
        marker.position = PlaceAt(area, kView, from + offsets[i]);
        marker.label = "Barhole " + std::to_string(i + 1) + ": " + std::to_string(3 + i * 7) + "." +
                       std::to_string(i % 10) + " % LEL";
        crowded.scene.markers.push_back(marker);
    }
    return crowded;
}

std::vector<QPointF> Row(int count, double dx, double dy) {
    std::vector<QPointF> row;
    for (int i = 0; i < count; ++i) {
        row.push_back(QPointF(dx * i, dy * i));
    }
    return row;
}

QPointF Middle(QSize size) {
    return QPointF(size.width() / 2.0, size.height() / 2.0);
}

// Where the colour scale's lower left corner lies in a picture of `size`.
QPointF LegendCorner(QSize size) {
    return LegendBox(QRectF(QPointF(0, 0), QSizeF(size)), WithReadings()).bottomLeft();
}

} // namespace

GeoPoint PlaceAt(const QRectF& area, const MapView& view, const QPointF& at) {
    const WorldPoint centre = ToWorld(view.centre, view.zoom);
    return ToGeo({centre.x + at.x() - area.center().x(), centre.y + at.y() - area.center().y()},
                 view.zoom);
}

std::vector<CrowdedScene> CrowdedScenes() {
    const QSize small(400, 300);
    const QSize screen(1280, 800);
    const QSize large(1920, 1080);
    const std::vector<QPointF> around = {{-6, -6}, {6, 6}, {-6, 6}, {6, -6}, {0, 0}};
    std::vector<QPointF> block;
    for (int i = 0; i < 12; ++i) {
        block.push_back(QPointF((i % 3) * 6, (i / 3) * 6));
    }
    std::vector<QPointF> crowd;
    for (int i = 0; i < 40; ++i) {
        crowd.push_back(QPointF((i % 8) * 3, (i / 8) * 3));
    }
    // Every label finds room, but in the frame's corners, where the two markers under the
    // attribution and the one between the colour scale and the top edge have none, and in a
    // crowd too thick to lead labels out of, where only those with room beside them have one.
    return {
        Markers("six markers 4 px apart in a row, 640 x 480", QSize(640, 480), Middle({640, 480}),
                Row(6, 4, 0), 6),
        Markers("five markers 3 px apart in a column, 400 x 300", small, Middle(small),
                Row(5, 0, 3), 5),
        Markers("a chain of markers 5 px apart down a slope, 1920 x 1080", large, Middle(large),
                Row(7, 5, 5), 7),
        Markers("three markers on one spot, 400 x 300", small, Middle(small), Row(3, 0, 0), 3),
        Markers("markers a label's width apart, 1280 x 800", screen, Middle(screen), Row(4, 70, 0),
                4),
        Markers("twelve markers 6 px apart in a block, 400 x 300", small, Middle(small), block, 12),
        Markers("markers round the colour scale's corner, 400 x 300", small, LegendCorner(small),
                around, 5),
        Markers("markers round the colour scale's corner, 1920 x 1080", large, LegendCorner(large),
                around, 5),
        Markers("markers in the frame's corners, 400 x 300", small, QPointF(0, 0),
                {{3, 3}, {8, 10}, {397, 297}, {390, 290}, {3, 296}, {396, 4}}, 3),
        Markers("forty markers 3 px apart in a block, 640 x 480", QSize(640, 480),
                Middle({640, 480}), crowd, 2),
    };
}
