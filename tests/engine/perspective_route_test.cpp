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

TEST(PerspectiveRouteTest, ConvergingVerticalsBecomeParallel) {
    TestEngine engine;
    CorrectionSettings settings;
    settings.PerspectVert = 30;  // 10 degrees
    const PerspectiveParams params =
        MakePerspectiveParams(CanvasSide(kWidth), PerspectiveAnglesFromSettings(30, 0, 0));
    TestImage image(kWidth, kHeight, 24, 1.8);
    TestImage other(kWidth, kHeight, 24, 1.8);
    TestImage destination(kWidth, kHeight);
    DrawConvergingLines(image.image, params);

    // Before: the outer lines lean by several pixels over the measured rows.
    const std::int32_t top = 30;
    const std::int32_t bottom = 168;
    const double leanBefore =
        LineCentre(image.image, bottom, 90.0 * 0.93) - LineCentre(image.image, top, 90.0 * 1.05);
    EXPECT_GT(std::fabs(leanBefore), 5.0);

    ASSERT_TRUE(CorrectOnCanvas(image.image, other.bytes.data(), destination.image, true, false,
                                settings, LensModel{}, engine.context)
                    .ok());
    for (double x = -90.0; x <= 90.0; x += 30.0) {
        const double atTop = LineCentre(destination.image, top, x);
        const double atBottom = LineCentre(destination.image, bottom, x);
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
    ASSERT_TRUE(CorrectOnCanvas(image.image, other.bytes.data(), destination.image, true, false,
                                settings, LensModel{}, engine.context)
                    .ok());
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
    ASSERT_TRUE(CorrectOnCanvas(image.image, other.bytes.data(), destination.image, false, true,
                                settings, LensModel{}, engine.context)
                    .ok());
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
    settings.PerspectShiftHorz = 1000;  // limited to the margin and written back
    TestImage image(kWidth, kHeight, 24, 1.8);
    image.Fill(200);
    TestImage other(kWidth, kHeight, 24, 1.8);
    TestImage destination(kWidth, kHeight);
    ASSERT_TRUE(CorrectOnCanvas(image.image, other.bytes.data(), destination.image, true, true,
                                settings, LensModel{}, engine.context)
                    .ok());
    EXPECT_EQ(settings.PerspectShiftHorz, 50 * 300 / kWidth);
    // Shrunk to 80 % and moved right by the whole margin: the left edge is
    // black canvas, the middle of the right half is picture.
    EXPECT_EQ(destination.Get(0, 99, 0), 0);
    EXPECT_EQ(destination.Get(250, 99, 0), 200);
}

TEST(EnlargeForPerspectiveTest, BlocksGrowAndKeepThePixels) {
    TestEngine engine(1);
    platform::CapturingSink& sink = engine.sink;
    testing::TestBlocks img(30, 20);
    ASSERT_TRUE(img.allocated);
    testing::FillPattern(img.source);
    const std::vector<std::uint8_t> before = testing::PixelsOf(img.source);
    ASSERT_TRUE(
        EnlargeForPerspective(img.blocks, img.source, img.destination, engine.context).ok());
    EXPECT_TRUE(img.blocks.enlarged);
    const std::size_t expected = static_cast<std::size_t>(1800 * 1.7777777777777777 + 0.5);
    EXPECT_EQ(img.blocks.source.size(), expected);
    EXPECT_EQ(img.blocks.work.size(), expected);
    EXPECT_EQ(img.blocks.backup.size(), expected);
    EXPECT_EQ(img.source.pixels, img.blocks.source.data());
    EXPECT_EQ(img.destination.pixels, img.blocks.work.data());
    EXPECT_EQ(testing::PixelsOf(img.source), before);
    EXPECT_EQ(sink.Count(), 0u);
    EXPECT_GE(img.blocks.source.size(),
              static_cast<std::size_t>(DescribeCanvas(img.source, nullptr).dataSize));
}

// Allocation failures on demand: call number failCall fails, or every call
// from failFrom on.
class CountingGate final : public WorkMemoryGate {
  public:
    CountingGate(int failCall, int failFrom = 1 << 30) : failCall_(failCall), failFrom_(failFrom) {}
    bool MayAllocate(std::size_t) noexcept override {
        ++calls_;
        return calls_ != failCall_ && calls_ < failFrom_;
    }

  private:
    int calls_ = 0;
    int failCall_;
    int failFrom_;
};

TEST(EnlargeForPerspectiveTest, SourceBlockFailureKeepsTheImageUsable) {
    TestEngine engine(1);
    CountingGate gate(1);
    engine.context.memoryGate = &gate;
    platform::CapturingSink& sink = engine.sink;
    testing::TestBlocks img(30, 20);
    testing::FillPattern(img.source);
    const std::vector<std::uint8_t> before = testing::PixelsOf(img.source);
    EXPECT_EQ(EnlargeForPerspective(img.blocks, img.source, img.destination, engine.context).code(),
              1);
    EXPECT_EQ(sink.Last(), "Insufficient memory for Perspective adjustments");
    EXPECT_FALSE(img.blocks.enlarged);
    EXPECT_EQ(img.source.pixels, img.blocks.source.data());
    EXPECT_EQ(testing::PixelsOf(img.source), before);
    EXPECT_EQ(img.blocks.work.size(), 1800u);
    EXPECT_EQ(img.destination.pixels, img.blocks.work.data());
}

TEST(EnlargeForPerspectiveTest, WorkBlockFailureHasItsOwnMessage) {
    TestEngine engine(1);
    CountingGate gate(2);
    engine.context.memoryGate = &gate;
    platform::CapturingSink& sink = engine.sink;
    testing::TestBlocks img(30, 20);
    testing::FillPattern(img.source);
    const std::vector<std::uint8_t> before = testing::PixelsOf(img.source);
    EXPECT_EQ(EnlargeForPerspective(img.blocks, img.source, img.destination, engine.context).code(),
              1);
    EXPECT_EQ(sink.Last(), "Insufficient memory for perspective adjustments");
    EXPECT_EQ(sink.Count(), 1u);
    EXPECT_EQ(testing::PixelsOf(img.source), before);
    EXPECT_EQ(img.blocks.work.size(), 1800u);
    EXPECT_EQ(img.destination.pixels, img.blocks.work.data());
}

TEST(EnlargeForPerspectiveTest, NoWorkBlockAtAllIsStatusTwo) {
    TestEngine engine(1);
    CountingGate gate(0, 2);
    engine.context.memoryGate = &gate;
    platform::CapturingSink& sink = engine.sink;
    testing::TestBlocks img(30, 20);
    EXPECT_EQ(EnlargeForPerspective(img.blocks, img.source, img.destination, engine.context).code(),
              2);
    EXPECT_EQ(sink.Last(), "Insufficient memory for perspective adjustments");
}

// The backup only ever receives the image's own pixels; losing it would leave
// vignetting and canvas placement in the source after every correction.
TEST(EnlargeForPerspectiveTest, BackupFailureKeepsTheOldBackup) {
    TestEngine engine(1);
    CountingGate gate(3);
    engine.context.memoryGate = &gate;
    platform::CapturingSink& sink = engine.sink;
    testing::TestBlocks img(30, 20);
    EXPECT_TRUE(
        EnlargeForPerspective(img.blocks, img.source, img.destination, engine.context).ok());
    EXPECT_EQ(sink.Count(), 0u);
    EXPECT_TRUE(img.blocks.enlarged);
    EXPECT_EQ(img.blocks.backup.size(), 1800u);
}

}  // namespace
}  // namespace quillon::engine
