#include "map/MapGrid.h"

#include "map/MapProjection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mapping {

namespace {

constexpr size_t kMaxLines = 400;

// Every step on offer, in degrees, smallest first.
const std::vector<double>& Steps() {
    static const std::vector<double> steps = [] {
        std::vector<double> all;
        for (double minutes : {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0, 20.0}) {
            all.push_back(minutes / 60.0);
        }
        for (double degrees : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0}) {
            all.push_back(degrees);
        }
        return all;
    }();
    return steps;
}

// The multiples of `step` from `low` to `high`, with the rounding of the division kept out.
std::vector<double> Multiples(double low, double high, double step) {
    std::vector<double> values;
    if (!(low <= high)) {
        return values;
    }
    const double first = std::ceil(low / step - 1e-9);
    const double last = std::floor(high / step + 1e-9);
    for (double n = first; n <= last && values.size() < kMaxLines; n += 1) {
        values.push_back(n * step);
    }
    return values;
}

} // namespace

GridLines GridFor(const GeoBounds& view, double widthPx, double minSpacingPx) {
    GridLines grid;
    const double west = std::max(view.west, -180.0);
    const double east = std::min(view.east, 180.0);
    const double south = std::max(view.south, -kMaxLatitude);
    const double north = std::min(view.north, kMaxLatitude);
    if (!(east > west) || !(north > south) || !(widthPx > 0) || !(minSpacingPx > 0)) {
        return grid;
    }
    const double degreesPerPixel = (east - west) / widthPx;
    const double wanted = degreesPerPixel * minSpacingPx;
    const double span = std::max(east - west, north - south);
    for (double step : Steps()) {
        grid.step = step;
        if (step >= wanted && span / step < kMaxLines) {
            break;
        }
    }
    grid.latitudes = Multiples(south, north, grid.step);
    grid.longitudes = Multiples(west, east, grid.step);
    return grid;
}

std::string GridLabel(double degrees, bool latitude, double step) {
    if (!std::isfinite(degrees)) {
        return {};
    }
    const char* hemisphere = "";
    if (degrees > 0) {
        hemisphere = latitude ? "N" : "E";
    } else if (degrees < 0) {
        hemisphere = latitude ? "S" : "W";
    }
    // Hundredths of a minute: the finest step, so every line's value is whole in them.
    const long long hundredths = std::llround(std::fabs(degrees) * 6000.0);
    const long long whole = hundredths / 6000;
    const long long minuteHundredths = hundredths % 6000;
    char text[48];
    if (step >= 1.0 || minuteHundredths == 0) {
        std::snprintf(text, sizeof text, "%lld\u00b0%s", whole, hemisphere);
    } else if (minuteHundredths % 100 == 0) {
        std::snprintf(text, sizeof text, "%lld\u00b0%02lld'%s", whole, minuteHundredths / 100,
                      hemisphere);
    } else {
        const double minutes = static_cast<double>(minuteHundredths) / 100.0;
        const int decimals = minuteHundredths % 10 == 0 ? 1 : 2;
        std::snprintf(text, sizeof text, "%lld\u00b0%0*.*f'%s", whole, decimals + 3, decimals,
                      minutes, hemisphere);
    }
    return text;
}

} // namespace mapping
