// The plain background's lines: their step, where they fall, and their labels.
#include "map/MapGrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace mapping;

TEST(MapGrid, AStreetViewGetsLinesEveryTwoMinutes) {
    // 0.2° over 800 pixels: 80 pixels are 1.2 minutes, so the next round step is 2 minutes.
    const GridLines grid = GridFor({51.45, -0.20, 51.55, 0.00}, 800, 80);
    EXPECT_DOUBLE_EQ(grid.step, 2.0 / 60);
    ASSERT_EQ(grid.longitudes.size(), 7u); // -12 minutes (the west edge) to 0
    EXPECT_NEAR(grid.longitudes.front(), -0.2, 1e-9);
    EXPECT_NEAR(grid.longitudes.back(), 0.0, 1e-9);
    ASSERT_EQ(grid.latitudes.size(), 3u); // 51°28', 51°30', 51°32'
    EXPECT_NEAR(grid.latitudes[1], 51.5, 1e-9);
}

TEST(MapGrid, TheWholeWorldGetsFiftyDegrees) {
    const GridLines grid = GridFor({-90, -180, 90, 180}, 1000, 80);
    EXPECT_DOUBLE_EQ(grid.step, 50);
    EXPECT_EQ(grid.longitudes, (std::vector<double>{-150, -100, -50, 0, 50, 100, 150}));
    EXPECT_EQ(grid.latitudes, (std::vector<double>{-50, 0, 50}));
}

TEST(MapGrid, NothingToDrawGivesNoLines) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const GeoBounds& bounds :
         std::vector<GeoBounds>{{10, 5, 10, 6}, {10, 6, 11, 5}, {nan, 0, 1, 1}, {0, 0, 1, nan}}) {
        const GridLines grid = GridFor(bounds, 800);
        EXPECT_EQ(grid.step, 0);
        EXPECT_TRUE(grid.latitudes.empty());
        EXPECT_TRUE(grid.longitudes.empty());
    }
    EXPECT_TRUE(GridFor({0, 0, 1, 1}, 0).longitudes.empty());
}

TEST(MapGrid, AHugeViewportStillGetsFewLines) {
    const GridLines grid = GridFor({-80, -180, 80, 180}, 1e15, 1);
    EXPECT_GT(grid.step, 0);
    EXPECT_LE(grid.longitudes.size(), 400u);
    EXPECT_LE(grid.latitudes.size(), 400u);
}

TEST(MapGrid, Labels) {
    struct Case {
        double degrees;
        bool latitude;
        double step;
        std::string text;
    };
    const double minute = 1.0 / 60;
    for (const Case& c : std::vector<Case>{{51.5, true, 10 * minute, "51°30'N"},
                                           {-5.0 / 60, false, minute, "0°05'W"},
                                           {0, true, 1, "0°"},
                                           {-50, true, 50, "50°S"},
                                           {2.175, false, 0.5 * minute, "2°10.5'E"},
                                           {-33.75, true, 0.05 * minute, "33°45'S"},
                                           {10.0 + 0.25 / 60, false, 0.05 * minute, "10°00.25'E"},
                                           {std::nan(""), true, 1, ""}}) {
        EXPECT_EQ(GridLabel(c.degrees, c.latitude, c.step), c.text);
    }
}

} // namespace
