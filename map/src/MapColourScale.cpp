#include "map/MapPicture.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace mapping {

namespace {

struct Stop {
    double at;
    int red;
    int green;
    int blue;
};

// Blue through green and amber to red: low readings calm, high ones loud; the over-range purple
// lies on none of these.
constexpr std::array<Stop, 4> kStops = {
    {{0.0, 33, 102, 172}, {1.0 / 3, 27, 158, 119}, {2.0 / 3, 230, 171, 2}, {1.0, 215, 25, 28}}};

int Blend(int from, int to, double t) {
    return static_cast<int>(std::lround(from + (to - from) * t));
}

} // namespace

ReadingRange RangeOf(const MapScene& scene) {
    ReadingRange range;
    ForEachPoint(scene, [&range](const TrackPoint& point) {
        if (!point.hasValue || point.overRange || !std::isfinite(point.value)) {
            return;
        }
        range.low = range.any ? std::min(range.low, point.value) : point.value;
        range.high = range.any ? std::max(range.high, point.value) : point.value;
        range.any = true;
    });
    if (range.any && !(range.high > range.low)) {
        const double step =
            scene.fullScale > 0 && std::isfinite(scene.fullScale) ? scene.fullScale / 10 : 1.0;
        range.low = std::min(0.0, range.low);
        range.high = std::max(range.high, range.low + step);
    }
    return range;
}

QColor ScaleColour(double fraction) {
    const double f = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    for (size_t i = 1; i < kStops.size(); ++i) {
        const Stop& a = kStops[i - 1];
        const Stop& b = kStops[i];
        if (f <= b.at) {
            const double t = (f - a.at) / (b.at - a.at);
            return QColor(Blend(a.red, b.red, t), Blend(a.green, b.green, t),
                          Blend(a.blue, b.blue, t));
        }
    }
    const Stop& last = kStops.back();
    return QColor(last.red, last.green, last.blue);
}

QColor ReadingColour(double value, const ReadingRange& range) {
    if (!range.any || !std::isfinite(value)) {
        return QColor(150, 150, 150);
    }
    if (!(range.high > range.low)) {
        return ScaleColour(0);
    }
    return ScaleColour((value - range.low) / (range.high - range.low));
}

QColor OverRangeColour() {
    return QColor(118, 42, 131);
}

} // namespace mapping
