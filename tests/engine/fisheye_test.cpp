#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "engine/fisheye_maps.h"
#include "engine/rotation.h"

namespace quillon::engine {
namespace {

constexpr double kPi = std::numbers::pi;

Point ChainZeroAngles(double d, Point p) {
    p = RectToErectPoint({d}, p);
    p = RotateErectPoint({kPi * d, 0.0}, p);
    p = ErectToFisheyePoint({d}, p);
    return RotateSpherePoint({RotationMatrix(0, 0, 0, RotationOrder::kXzy), d}, p);
}

TEST(FisheyeMapTest, OutputCentreMapsToTheFisheyeCentre) {
    // On the axis the fisheye step divides by cos(pi/2), which is tiny but not
    // zero; the result must be the centre, not a NaN.
    for (const double d : {1.0, 233.4, 1500.0}) {
        const Point p = ChainZeroAngles(d, {0.0, 0.0});
        EXPECT_NEAR(p.x, 0.0, 1e-9);
        EXPECT_NEAR(p.y, 0.0, 1e-9);
    }
}

TEST(FisheyeMapTest, RectilinearPointsBecomeEquidistantRadii) {
    // A rectilinear point at (x, y) looks along (x, y, d); an equidistant fisheye
    // puts it at d times its angle from the axis, in the same direction.
    const double d = 400.0;
    for (const Point in :
         {Point{300, 0}, Point{0, -250}, Point{-700, 420}, Point{1e4, 3e3}, Point{0.5, 0.25}}) {
        const Point out = ChainZeroAngles(d, in);
        const double angle = std::atan2(std::hypot(in.x, in.y), d);
        EXPECT_NEAR(std::hypot(out.x, out.y), d * angle, 1e-7);
        EXPECT_NEAR(std::atan2(out.y, out.x), std::atan2(in.y, in.x), 1e-9);
    }
}

TEST(FisheyeMapTest, YawWrapsAroundTheBackOfTheSphere) {
    const double d = 100.0;
    const RotateErectParams params{kPi * d, 50.0};
    EXPECT_NEAR(RotateErectPoint(params, {300.0, 7.0}).x, 350.0 - 2 * kPi * d, 1e-9);
    EXPECT_NEAR(RotateErectPoint(params, {300.0, 7.0}).y, 7.0, 0.0);
    EXPECT_NEAR(RotateErectPoint(params, {200.0, 0.0}).x, 250.0, 1e-9);
    const RotateErectParams back{kPi * d, -50.0};
    EXPECT_NEAR(RotateErectPoint(back, {-300.0, 0.0}).x, -350.0 + 2 * kPi * d, 1e-9);
    // Several turns are taken off, not just one.
    EXPECT_NEAR(RotateErectPoint({kPi * d, 5 * kPi * d}, {0.0, 0.0}).x, kPi * d, 1e-6);
}

TEST(FisheyeMapTest, PitchMovesTheAxisAlongTheVertical) {
    const double d = 300.0;
    const double pitch = 0.2;
    const RotateSphereParams params{RotationMatrix(-pitch, 0, 0, RotationOrder::kXzy), d};
    const Point p = RotateSpherePoint(params, {0.0, 0.0});
    EXPECT_NEAR(p.x, 0.0, 1e-9);
    EXPECT_NEAR(p.y, d * pitch, 1e-9);
    // Roll turns the fisheye about its centre (y grows downward) and keeps radii.
    const RotateSphereParams roll{RotationMatrix(0, 0, -0.5, RotationOrder::kXzy), d};
    const Point q = RotateSpherePoint(roll, {120.0, 0.0});
    EXPECT_NEAR(std::hypot(q.x, q.y), 120.0, 1e-9);
    EXPECT_NEAR(std::atan2(q.y, q.x), -0.5, 1e-9);
}

TEST(FisheyeHfovTest, LandscapeKeepsTheSettings) {
    EXPECT_DOUBLE_EQ(FisheyeSourceHfov(3000, 2000, 140), 140.0);
    EXPECT_DOUBLE_EQ(FisheyeOutputHfov(3000, 2000, 140, 0), 140.0);
    EXPECT_DOUBLE_EQ(FisheyeOutputHfov(3000, 2000, 140, 30), 110.0);
    EXPECT_DOUBLE_EQ(FisheyeOutputHfov(2000, 2000, 170, 0), 170.0);
}

TEST(FisheyeHfovTest, PortraitGivesTheWidthItsShare) {
    EXPECT_NEAR(FisheyeSourceHfov(2000, 3000, 140), 93.3333333, 1e-6);
    const double expected = 2.0 * std::atan(std::tan(70.0 * kPi / 180.0) * 2.0 / 3.0) * 180 / kPi;
    EXPECT_NEAR(FisheyeOutputHfov(2000, 3000, 140, 0), expected, 1e-9);
    EXPECT_NEAR(FisheyeOutputHfov(2000, 3000, 140, 0), 122.7, 0.05);
}

TEST(FisheyeHfovTest, OutputNeverBelowOneDegree) {
    EXPECT_DOUBLE_EQ(FisheyeOutputHfov(3000, 2000, 50, 50), 1.0);
    EXPECT_DOUBLE_EQ(FisheyeOutputHfov(2000, 3000, 51, 50), 1.0);
    EXPECT_GT(FisheyeOutputHfov(3000, 2000, 52, 50), 1.0);
}

}  // namespace
}  // namespace quillon::engine
