#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "engine/perspective.h"
#include "tests/engine/correction_fixture.h"

namespace quillon::engine {
namespace {

using testing::Sample;
using testing::TestEngine;
using testing::TestImage;

// 301 x 199 puts the image exactly in the middle of its 401 x 265 canvas
// (margins 100 and 66), so canvas and image centres coincide.
constexpr std::int32_t kWidth = 301;
constexpr std::int32_t kHeight = 199;

// Where destination point (x, y) of the corrected canvas lies: the inverse of
// the homography, from the rotation being orthonormal.
Point DestinationOf(const PerspectiveParams& p, Point source) {
    const Matrix3& m = p.rotation;
    const double d = p.distance;
    const double w[3] = {source.x, source.y, d};
    double q[3];
    for (std::size_t i = 0; i < 3; ++i) q[i] = w[0] * m[i][0] + w[1] * m[i][1] + w[2] * m[i][2];
    return {d * q[0] / q[2] - p.offsetX, d * q[1] / q[2] - p.offsetY};
}

// Vertical lines at x = -90, -60, ..., 90 of the corrected picture, drawn as
// they look before correction (converging), anti-aliased by 4 x 4 sampling.
void DrawConvergingLines(const ImageBuffer& image, const PerspectiveParams& params) {
    for (std::int32_t row = 0; row < image.height; ++row) {
        for (std::int32_t col = 0; col < image.width; ++col) {
            double cover = 0.0;
            for (int sy = 0; sy < 4; ++sy) {
                for (int sx = 0; sx < 4; ++sx) {
                    const Point src{col + (sx + 0.5) / 4 - 0.5 - (image.width / 2.0 - 0.5),
                                    row + (sy + 0.5) / 4 - 0.5 - (image.height / 2.0 - 0.5)};
                    const Point dst = DestinationOf(params, src);
                    const double nearest = 30.0 * std::round(dst.x / 30.0);
                    if (std::fabs(nearest) <= 90.0 && std::fabs(dst.x - nearest) < 1.5)
                        cover += 1.0;
                }
            }
            const int v = static_cast<int>(cover / 16.0 * 240.0 + 0.5);
            testing::SetPixel(image, col, row, v, v, v);
        }
    }
}

// Centre of brightness of the line near centred column `x` in `row`.
double LineCentre(const ImageBuffer& image, std::int32_t row, double x) {
    const double offset = image.width / 2.0 - 0.5;
    const auto centre = static_cast<std::int32_t>(std::lround(x + offset));
    double sum = 0.0;
    double weighted = 0.0;
    for (std::int32_t col = centre - 10; col <= centre + 10; ++col) {
        const int v = Sample(image, col, row, 1);
        sum += v;
        weighted += v * (col - offset);
    }
    EXPECT_GT(sum, 200.0) << "no line near " << x << " in row " << row;
    return sum > 0.0 ? weighted / sum : 0.0;
}

// Places `image` on the canvas in its own block and runs the canvas steps
// with `other`'s block, cropping the window the settings' shifts name.
Status OnCanvas(TestImage& image, TestImage& other, TestImage& destination, bool perspective,
                bool scale, const CorrectionSettings& settings, EngineContext& context) {
    const ImageBuffer first = DescribeCanvas(image.buffer(), image.data());
    const ImageBuffer second = DescribeCanvas(image.buffer(), other.data());
    PlaceOnCanvas(first, image.buffer());
    const CropWindow crop =
        PlanCropWindow(image.buffer().width, image.buffer().height, first,
                       CropShifts{settings.PerspectShiftHorz, settings.PerspectShiftVert});
    return CorrectOnCanvas(first, second, destination.buffer(), perspective, scale, crop, settings,
                           LensModel{}, context);
}

TEST(PerspectiveRouteTest, ConvergingVerticalsBecomeParallel) {
    TestEngine engine;
    CorrectionSettings settings;
    settings.PerspectVert = 30;  // 10 degrees
    const PerspectiveParams params =
        MakePerspectiveParams(CanvasSide(kWidth), PerspectiveAnglesFromSettings(30, 0, 0));
    TestImage image(kWidth, kHeight, 24, 1.8);
    TestImage other(kWidth, kHeight, 24, 1.8);
    TestImage destination(kWidth, kHeight);
    DrawConvergingLines(image.buffer(), params);

    // Before: the outer lines lean by several pixels over the measured rows.
    const std::int32_t top = 30;
    const std::int32_t bottom = 168;
    const double leanBefore = LineCentre(image.buffer(), bottom, 90.0 * 0.93) -
                              LineCentre(image.buffer(), top, 90.0 * 1.05);
    EXPECT_GT(std::fabs(leanBefore), 5.0);

    ASSERT_TRUE(OnCanvas(image, other, destination, true, false, settings, engine.context).ok());
    for (double x = -90.0; x <= 90.0; x += 30.0) {
        const double atTop = LineCentre(destination.buffer(), top, x);
        const double atBottom = LineCentre(destination.buffer(), bottom, x);
        EXPECT_NEAR(atTop, x, 0.5) << "line " << x;
        EXPECT_NEAR(atBottom, x, 0.5) << "line " << x;
        EXPECT_NEAR(atBottom - atTop, 0.0, 0.5) << "line " << x;
    }
}

TEST(PerspectiveRouteTest, CentreStaysAndOuterCanvasIsBlack) {
    TestEngine engine;
    CorrectionSettings settings;
    settings.PerspectHorz = -45;
    settings.PerspectRotate = 60;
    TestImage image(kWidth, kHeight, 24, 1.8);
    // A flat field with a small bright cross in the middle.
    image.Fill(90);
    for (int k = -2; k <= 2; ++k) {
        image.SetPixel(150 + k, 99, 250, 250, 250);
        image.SetPixel(150, 99 + k, 250, 250, 250);
    }
    TestImage other(kWidth, kHeight, 24, 1.8);
    TestImage destination(kWidth, kHeight);
    ASSERT_TRUE(OnCanvas(image, other, destination, true, false, settings, engine.context).ok());
    EXPECT_EQ(destination.Get(150, 99, 0), 250);
    EXPECT_GT(destination.Get(150, 98, 0), 150);
    EXPECT_GT(destination.Get(151, 99, 0), 150);
    // Rotated by 6 degrees and turned, the picture no longer covers every
    // corner: the canvas margin shows there.
    const int blackCorners = (destination.Get(0, 0, 1) == 0) + (destination.Get(300, 0, 1) == 0) +
                             (destination.Get(0, 198, 1) == 0) +
                             (destination.Get(300, 198, 1) == 0);
    EXPECT_GE(blackCorners, 1);
}

TEST(PerspectiveRouteTest, ScaleAloneMagnifiesAboutTheCentre) {
    TestEngine engine;
    CorrectionSettings settings;
    settings.PerspectScale = 125;
    TestImage image(kWidth, kHeight, 24, 1.8);
    for (std::int32_t y = 0; y < kHeight; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x) image.SetPixel(x, y, (x * 4) / 5, y, 60);
    TestImage other(kWidth, kHeight, 24, 1.8);
    TestImage destination(kWidth, kHeight);
    ASSERT_TRUE(OnCanvas(image, other, destination, false, true, settings, engine.context).ok());
    // The canvas is resized by 401 / int(401 * 1.25) across and 265 / 331 down.
    const double sx = 401.0 / 501.0;
    const double sy = 265.0 / 331.0;
    for (std::int32_t y = 2; y < kHeight - 2; y += 9) {
        for (std::int32_t x = 2; x < kWidth - 2; x += 11) {
            const double srcX = 150.0 + (x - 150.0) * sx;
            const double srcY = 99.0 + (y - 99.0) * sy;
            EXPECT_NEAR(destination.Get(x, y, 0), srcX * 0.8, 1.5) << x << "," << y;
            EXPECT_NEAR(destination.Get(x, y, 1), srcY, 1.0) << x << "," << y;
            EXPECT_EQ(destination.Get(x, y, 2), 60);
        }
    }
}

TEST(PerspectiveRouteTest, PerspectiveAndScaleCropFromTheFirstCanvas) {
    TestEngine engine;
    CorrectionSettings settings;
    settings.PerspectVert = -20;
    settings.PerspectScale = 80;
    settings.PerspectShiftHorz = 1000;  // limited to the margin
    TestImage image(kWidth, kHeight, 24, 1.8);
    image.Fill(200);
    TestImage other(kWidth, kHeight, 24, 1.8);
    TestImage destination(kWidth, kHeight);
    ASSERT_TRUE(OnCanvas(image, other, destination, true, true, settings, engine.context).ok());
    // Shrunk to 80 % and moved right by the whole margin: the left edge is
    // black canvas, the middle of the right half is picture.
    EXPECT_EQ(destination.Get(0, 99, 0), 0);
    EXPECT_EQ(destination.Get(250, 99, 0), 200);
}

}  // namespace
}  // namespace quillon::engine
