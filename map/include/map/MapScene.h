#pragma once

// What a map picture shows: the chosen gas's readings along the way, in pieces that are never
// joined to each other (a gap in the logging is a gap on the map), and the places where something
// was noted. Plain values, filled by whoever holds the sessions.
#include "map/MapProjection.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mapping {

// The record a point or a marker was drawn from, so that choosing it on the map can find it in
// the report and on the chart: its session's place in the list the scene was made from and its
// own place among that session's records.
struct SceneRecord {
    int32_t session = -1;
    int32_t record = -1;
    // The instrument's time stamp (seconds since 2000-01-01 of its wall clock); false for a
    // record before the session's first stamp.
    bool stamped = false;
    uint32_t stamp = 0;
};

struct TrackPoint {
    GeoPoint position;
    // Seconds since 1970-01-01 UTC.
    int64_t time = 0;
    // The point has a reading of the scene's gas; without one it is drawn uncoloured.
    bool hasValue = true;
    double value = 0;
    // The reading was beyond the sensor's range, so `value` says nothing.
    bool overRange = false;
    SceneRecord record;
};

struct TrackPiece {
    std::vector<TrackPoint> points;
};

enum class MarkerKind { Alarm, Barhole, PipelineGasTest, ManualReading, GpsAverage };

struct Marker {
    MarkerKind kind = MarkerKind::Alarm;
    GeoPoint position;
    // A few words beside the symbol ("CH4", "Barhole 3: 4.7 % gas").
    std::string label;
    SceneRecord record;
};

struct MapScene {
    std::vector<TrackPiece> pieces;
    // Readings with a place away from the track (a timed, manual or alarm reading): dots, never
    // joined by a line.
    std::vector<TrackPoint> spots;
    std::vector<Marker> markers;
    // The chosen gas and its unit, the legend's title.
    std::string gas;
    std::string unit;
    // The top of the gas's sensor range in its unit (100 for "0..100 % LEL"); 0 where it is not
    // known. The colour scale of readings that never changed is measured by it.
    double fullScale = 0;
};

// Every reading point of the scene, the track's then the spots.
template <typename Visit> void ForEachPoint(const MapScene& scene, Visit visit) {
    for (const TrackPiece& piece : scene.pieces) {
        for (const TrackPoint& point : piece.points) {
            visit(point);
        }
    }
    for (const TrackPoint& point : scene.spots) {
        visit(point);
    }
}

// Whether the scene has anything to place on a map: a point of the track, a spot or a marker. The
// one answer to "no positions", for the Map tab, the map files and the report's map page alike.
inline bool SceneHasPlaces(const MapScene& scene) {
    bool any = !scene.markers.empty();
    ForEachPoint(scene, [&any](const TrackPoint&) { any = true; });
    return any;
}

} // namespace mapping
