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

#include "engine/fisheye.h"
#include "tests/engine/correction_fixture.h"

namespace quillon::engine {
namespace {

using testing::Sample;
using testing::TestEngine;
using testing::TestImage;

constexpr double kGridStep = 40.0;

// An equidistant fisheye photograph of a flat grid of lines kGridStep apart
// (1.5 pixels either side of each line) as the rectilinear output will show
// it: the output pixel (x, y) looks along (x, y, d); the fisheye puts that
// direction at ppr times its angle from the axis. 4 x 4 samples per pixel.
void DrawFisheyeGrid(const ImageBuffer& image, double pixelsPerRadian, double d) {
    for (std::int32_t row = 0; row < image.height; ++row) {
        for (std::int32_t col = 0; col < image.width; ++col) {
            double cover = 0.0;
            for (int sy = 0; sy < 4; ++sy) {
                for (int sx = 0; sx < 4; ++sx) {
                    const double u = col + (sx + 0.5) / 4 - 0.5 - (image.width / 2.0 - 0.5);
                    const double v = row + (sy + 0.5) / 4 - 0.5 - (image.height / 2.0 - 0.5);
                    const double r = std::hypot(u, v);
                    const double theta = r / pixelsPerRadian;
                    if (theta >= kPi / 2 - 0.01) continue;
                    const double planeR = r > 0 ? d * std::tan(theta) / r : d / pixelsPerRadian;
                    const double x = u * planeR;
                    const double y = v * planeR;
                    const double dx = std::fabs(x - kGridStep * std::round(x / kGridStep));
                    const double dy = std::fabs(y - kGridStep * std::round(y / kGridStep));
                    if (std::min(dx, dy) < 1.5) cover += 1.0;
                }
            }
            const int value = static_cast<int>(cover / 16.0 * 240.0 + 0.5);
            testing::SetPixel(image, col, row, value, value, value);
        }
    }
}

// Centre of brightness across a line near `at` (centred), measured along a
// row (vertical line) or a column (horizontal line).
double LineCentre(const ImageBuffer& image, bool vertical, std::int32_t fixed, double at) {
    const double offset = vertical ? image.width / 2.0 - 0.5 : image.height / 2.0 - 0.5;
    const auto centre = static_cast<std::int32_t>(std::lround(at + offset));
    double sum = 0.0;
    double weighted = 0.0;
    for (std::int32_t k = centre - 8; k <= centre + 8; ++k) {
        const int value = vertical ? Sample(image, k, fixed, 1) : Sample(image, fixed, k, 1);
        sum += value;
        weighted += value * (k - offset);
    }
    return sum > 0.0 ? weighted / sum : 1e9;
}

void ExpectStraightGrid(std::int32_t width, std::int32_t height) {
    SCOPED_TRACE(::testing::Message() << width << " x " << height);
    TestEngine engine;
    CorrectionSettings settings;
    settings.FisheyeDistortion = 140;
    settings.FisheyeCrop = 40;
    // Independent of the field-of-view rules: the long side spans 140 degrees
    // of the fisheye and 100 degrees of the rectilinear output.
    const std::int32_t longSide = std::max(width, height);
    const double pixelsPerRadian = longSide / (140.0 * kPi / 180.0);
    const double d = longSide / (2.0 * std::tan(50.0 * kPi / 180.0));
    TestImage source(width, height);
    DrawFisheyeGrid(source.buffer(), pixelsPerRadian, d);
    TestImage output(width, height);
    ASSERT_TRUE(RunFisheye(output.buffer(), source.buffer(), false, settings, engine.context).ok());

    const double halfW = width / 2.0 - 0.5;
    const double halfH = height / 2.0 - 0.5;
    int measured = 0;
    // Vertical lines, measured on rows well away from the horizontal lines.
    for (double x = -kGridStep * std::floor((halfW - 10) / kGridStep); x < halfW - 10;
         x += kGridStep) {
        for (std::int32_t row = 4; row < height - 4; row += 3) {
            const double y = row - halfH;
            if (std::fabs(y - kGridStep * std::round(y / kGridStep)) < 8) continue;
            ASSERT_NEAR(LineCentre(output.buffer(), true, row, x), x, 1.0)
                << "vertical line " << x << " at row " << row;
            ++measured;
        }
    }
    for (double y = -kGridStep * std::floor((halfH - 10) / kGridStep); y < halfH - 10;
         y += kGridStep) {
        for (std::int32_t col = 4; col < width - 4; col += 3) {
            const double x = col - halfW;
            if (std::fabs(x - kGridStep * std::round(x / kGridStep)) < 8) continue;
            ASSERT_NEAR(LineCentre(output.buffer(), false, col, y), y, 1.0)
                << "horizontal line " << y << " at column " << col;
            ++measured;
        }
    }
    EXPECT_GT(measured, 500);
}

TEST(RunFisheyeTest, GridLinesComeOutStraight) {
    ExpectStraightGrid(480, 320);
    ExpectStraightGrid(320, 480);
}

TEST(RunFisheyeTest, CentrePixelKeepsItsPlaceWithZeroAngles) {
    TestEngine engine;
    CorrectionSettings settings;
    TestImage source(201, 151);
    source.Fill(40);
    source.SetPixel(100, 75, 250, 200, 150);
    TestImage output(201, 151);
    ASSERT_TRUE(RunFisheye(output.buffer(), source.buffer(), false, settings, engine.context).ok());
    // The fisheye is magnified in the middle, so the dot spreads; its peak
    // stays on the centre pixel.
    EXPECT_GT(output.Get(100, 75, 0), 200);
    EXPECT_GT(output.Get(100, 75, 0), output.Get(99, 75, 0));
    EXPECT_GT(output.Get(100, 75, 0), output.Get(100, 76, 0));
}

TEST(RunFisheyeTest, ChromaticAberrationRunsOnePassPerChannel) {
    CorrectionSettings settings;
    settings.CaRed = 60;
    const ImageBuffer image = DescribeImage(300, 200, 24, nullptr);
    const ImageBuffer withCA = DescribeFisheyeSource(image, settings, true);
    const PassPlan passes = PlanFisheyePasses(withCA.lens);
    ASSERT_EQ(passes.count, 3);
    EXPECT_EQ(passes.passes[0], ChannelPass::kRed);
    EXPECT_EQ(passes.passes[1], ChannelPass::kGreen);
    EXPECT_EQ(passes.passes[2], ChannelPass::kBlue);
    EXPECT_DOUBLE_EQ(withCA.lens.radial[0].c0, 1.006);
    EXPECT_DOUBLE_EQ(withCA.lens.radial[2].c0, 1.0);
    EXPECT_DOUBLE_EQ(withCA.lens.radial[1].limit, std::sqrt(300.0 * 300 + 200 * 200) / 200);
    EXPECT_EQ(PlanFisheyePasses(DescribeFisheyeSource(image, settings, false).lens).count, 1);

    // On a grey picture the neutral blue pass must equal the green one and
    // red must differ: one shared pass with red's terms would tint blue too.
    TestEngine engine;
    TestImage source(300, 200);
    for (std::int32_t y = 0; y < 200; ++y)
        for (std::int32_t x = 0; x < 300; ++x) {
            const int v = (x * 7 + y * 3) % 251;
            source.SetPixel(x, y, v, v, v);
        }
    TestImage output(300, 200);
    ASSERT_TRUE(RunFisheye(output.buffer(), source.buffer(), true, settings, engine.context).ok());
    int redDiffers = 0;
    for (std::int32_t y = 0; y < 200; ++y)
        for (std::int32_t x = 0; x < 300; ++x) {
            ASSERT_EQ(output.Get(x, y, 2), output.Get(x, y, 1)) << x << "," << y;
            redDiffers += output.Get(x, y, 0) != output.Get(x, y, 1);
        }
    EXPECT_GT(redDiffers, 1000);
}

TEST(RunFisheyeTest, YawTurnsThePictureSideways) {
    TestEngine engine;
    CorrectionSettings settings;
    settings.FisheyeHorz = 50;  // 5 degrees
    TestImage source(201, 151);
    source.Fill(40);
    source.SetPixel(100, 75, 250, 250, 250);
    TestImage output(201, 151);
    ASSERT_TRUE(RunFisheye(output.buffer(), source.buffer(), false, settings, engine.context).ok());
    std::int32_t peak = 0;
    for (std::int32_t x = 0; x < 201; ++x)
        if (output.Get(x, 75, 0) > output.Get(peak, 75, 0)) peak = x;
    EXPECT_NE(peak, 100);
}

}  // namespace
}  // namespace quillon::engine
