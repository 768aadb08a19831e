#pragma once

// What a map picture shows: the chosen gas's readings along the way, in pieces that are never
// joined to each other (a gap in the logging is a gap on the map), and the places where something
// was noted. Plain values, filled by whoever holds the sessions.
#include "map/MapProjection.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mapping {

struct TrackPoint {
    GeoPoint position;
    // Seconds since 1970-01-01 UTC.
    int64_t time = 0;
    double value = 0;
    // The reading was beyond the sensor's range, so `value` says nothing.
    bool overRange = false;
};

struct TrackPiece {
    std::vector<TrackPoint> points;
};

enum class MarkerKind { Alarm, Barhole, PipelineGasTest, ManualReading, GpsAverage };

struct Marker {
    MarkerKind kind = MarkerKind::Alarm;
    GeoPoint position;
    // A few words beside the symbol ("CH4", "Barhole 3: 47 %Gas").
    std::string label;
};

struct MapScene {
    std::vector<TrackPiece> pieces;
    std::vector<Marker> markers;
    // The chosen gas and its unit, the legend's title.
    std::string gas;
    std::string unit;
};

} // namespace mapping
