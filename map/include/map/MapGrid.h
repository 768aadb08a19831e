#pragma once

// The latitude and longitude lines of the plain background, drawn when there are no tiles: a
// round step (1, 2 or 5 times a power of ten, in minutes below a degree and in degrees above)
// chosen so that neighbouring lines stay at least a given number of pixels apart.
#include <string>
#include <vector>

namespace mapping {

// The geographic edges of a viewport, in degrees.
struct GeoBounds {
    double south = 0;
    double west = 0;
    double north = 0;
    double east = 0;
};

struct GridLines {
    // The step in degrees; 0 when there is nothing to draw.
    double step = 0;
    std::vector<double> latitudes;
    std::vector<double> longitudes;
};

// The lines crossing `view` for a viewport `widthPx` pixels wide, at least `minSpacingPx` apart
// along the equator's scale (Mercator spreads latitude lines further, never closer). Latitudes
// stay within the Mercator square, longitudes within [-180, 180]; never more than a few hundred
// lines per direction whatever the input.
GridLines GridFor(const GeoBounds& view, double widthPx, double minSpacingPx = 80);

// A line's label: degrees, then minutes where the step needs them, then the hemisphere
// ("51°30'N", "0°05'W", "0°", "2°10.5'E").
std::string GridLabel(double degrees, bool latitude, double step);

} // namespace mapping
