// The map's plane against tile numbers worked out here with the usual slippy-map formulas, and
// against a few values published for Web Mercator.
#include "map/MapProjection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using namespace mapping;

const double kPi = std::acos(-1.0);

double TileXByFormula(double lon, int z) {
    return std::floor((lon + 180) / 360 * std::exp2(z));
}

double TileYByFormula(double lat, int z) {
    const double phi = lat * kPi / 180;
    return std::floor((1 - std::log(std::tan(phi) + 1 / std::cos(phi)) / kPi) / 2 * std::exp2(z));
}

// World pixels by the same formulas, for the fit.
double WorldX(double lon, int z) {
    return (lon + 180) / 360 * 256 * std::exp2(z);
}
double WorldY(double lat, int z) {
    const double phi = lat * kPi / 180;
    return (1 - std::log(std::tan(phi) + 1 / std::cos(phi)) / kPi) / 2 * 256 * std::exp2(z);
}

const std::vector<GeoPoint> kPlaces = {
    {51.5074, -0.1278},   {-33.8688, 151.2093}, {40.7128, -74.0060},  {64.1466, -21.9426},
    {-54.8019, -68.3030}, {1.3521, 103.8198},   {-17.7134, 178.0650}, {52.3, 4.9}};

TEST(MapProjection, TilesAgreeWithTheSlippyMapFormulas) {
    for (const GeoPoint& place : kPlaces) {
        for (int z = 0; z <= 19; ++z) {
            const TileIndex tile = TileAt(place, z);
            EXPECT_EQ(tile.zoom, z);
            EXPECT_EQ(tile.x, TileXByFormula(place.longitude, z)) << place.latitude << " z" << z;
            EXPECT_EQ(tile.y, TileYByFormula(place.latitude, z)) << place.latitude << " z" << z;
        }
    }
}

TEST(MapProjection, FixedPoints) {
    const TileIndex origin = TileAt({0, 0}, 0);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);
    // The middle of the world is the corner of the four tiles at zoom 1.
    const WorldPoint middle = ToWorld({0, 0}, 1);
    EXPECT_DOUBLE_EQ(middle.x, 256);
    EXPECT_NEAR(middle.y, 256, 1e-9);
    // The edges of the square, and beyond it: held to the last tile.
    EXPECT_EQ(TileAt({89.9, -180}, 3).y, 0);
    EXPECT_EQ(TileAt({-89.9, 180}, 3).y, 7);
    EXPECT_EQ(TileAt({0, 180}, 3).x, 0); // 180°E is 180°W
    EXPECT_EQ(TileAt({0, 179.999}, 3).x, 7);
    EXPECT_EQ(TileAt({0, 450}, 2).x, 3); // 450°E is 90°E
    EXPECT_DOUBLE_EQ(ClampLatitude(90), kMaxLatitude);
    EXPECT_DOUBLE_EQ(ClampLatitude(-91), -kMaxLatitude);
    EXPECT_NEAR(ToWorld({kMaxLatitude, 0}, 0).y, 0, 1e-6);
    EXPECT_NEAR(ToWorld({-kMaxLatitude, 0}, 0).y, 256, 1e-6);
}

TEST(MapProjection, NonNumbersStayInTheWorld) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const GeoPoint& odd : std::vector<GeoPoint>{{nan, nan}, {inf, -inf}, {nan, 10}}) {
        const TileIndex tile = TileAt(odd, 4);
        EXPECT_GE(tile.x, 0);
        EXPECT_LT(tile.x, 16);
        EXPECT_GE(tile.y, 0);
        EXPECT_LT(tile.y, 16);
    }
}

TEST(MapProjection, WorldPixelsGoBackToThePlace) {
    for (const GeoPoint& place : kPlaces) {
        for (double z : {0.0, 7.5, 18.0}) {
            const GeoPoint back = ToGeo(ToWorld(place, z), z);
            EXPECT_NEAR(back.latitude, place.latitude, 1e-9);
            EXPECT_NEAR(back.longitude, place.longitude, 1e-9);
        }
    }
}

TEST(MapProjection, MetresPerPixel) {
    // The published ground resolution of 256-pixel Web Mercator tiles at the equator.
    EXPECT_NEAR(MetresPerPixel(0, 0), 156543.03392, 1e-4);
    EXPECT_NEAR(MetresPerPixel(0, 10), 152.8740565, 1e-6);
    EXPECT_NEAR(MetresPerPixel(60, 0), 156543.03392 / 2, 1e-4);
    EXPECT_NEAR(MetresPerPixel(-60, 1), 156543.03392 / 4, 1e-4);
}

TEST(MapProjection, TwoPointsFitTheLargestZoomThatHoldsThem) {
    const GeoPoint a{51.5000, -0.1300};
    const GeoPoint b{51.5200, -0.1000};
    const MapView view = FitView({a, b}, 800, 600, 16);
    int expected = 0;
    for (int z = 0; z <= 19; ++z) {
        const double spanX = WorldX(b.longitude, z) - WorldX(a.longitude, z);
        const double spanY = WorldY(a.latitude, z) - WorldY(b.latitude, z);
        if (spanX <= 800 - 32 && spanY <= 600 - 32) {
            expected = z;
        }
    }
    EXPECT_EQ(view.zoom, expected);
    EXPECT_EQ(view.zoom, 14);
    const int z = view.zoom;
    EXPECT_NEAR(ToWorld(view.centre, z).x, (WorldX(a.longitude, z) + WorldX(b.longitude, z)) / 2,
                1e-6);
    EXPECT_NEAR(ToWorld(view.centre, z).y, (WorldY(a.latitude, z) + WorldY(b.latitude, z)) / 2,
                1e-6);
    // A viewport too small for a margin still gives a view, the widest.
    EXPECT_EQ(FitView({a, b}, 20, 20, 16).zoom, 0);
    EXPECT_EQ(FitView({a, b}, std::numeric_limits<double>::quiet_NaN(), 600).zoom, 0);
}

TEST(MapProjection, OnePointOrNoneGivesADefault) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const MapView one = FitView({{52.3, 4.9}, {52.3, 4.9}, {nan, 1}}, 800, 600);
    EXPECT_EQ(one.zoom, kPointZoom);
    EXPECT_NEAR(one.centre.latitude, 52.3, 1e-9);
    EXPECT_NEAR(one.centre.longitude, 4.9, 1e-9);
    // The whole world, 256 pixels at zoom 0, fits 800 x 600 at zoom 1 (512) but not 2.
    const MapView none = FitView({}, 800, 600);
    EXPECT_EQ(none.zoom, 1);
    EXPECT_NEAR(none.centre.latitude, 0, 1e-9);
    EXPECT_NEAR(none.centre.longitude, 0, 1e-9);
    EXPECT_EQ(FitView({{nan, nan}}, 800, 600).zoom, 1);
}

} // namespace
