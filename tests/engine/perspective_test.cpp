#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "engine/perspective_canvas.h"
#include "engine/perspective_maps.h"
#include "engine/rotation.h"
#include "tests/engine/correction_fixture.h"

namespace quillon::engine {
namespace {

using testing::TestImage;

void ExpectMatrixNear(const Matrix3& actual, const Matrix3& expected) {
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = 0; j < 3; ++j)
            EXPECT_NEAR(actual[i][j], expected[i][j], 1e-12) << "element " << i << j;
}

TEST(RotationMatrixTest, OrderFlagChoosesTheProduct) {
    const double q = std::numbers::pi / 2;
    // Worked by hand from the single-axis matrices for quarter turns.
    ExpectMatrixNear(RotationMatrix(q, 0.0, q, RotationOrder::kZxy),
                     Matrix3{{{0, 0, 1}, {-1, 0, 0}, {0, -1, 0}}});
    ExpectMatrixNear(RotationMatrix(q, 0.0, q, RotationOrder::kXzy),
                     Matrix3{{{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}});
    // The vertical axis comes last in both orders.
    ExpectMatrixNear(RotationMatrix(0.0, q, 0.0, RotationOrder::kZxy),
                     Matrix3{{{0, 0, -1}, {0, 1, 0}, {1, 0, 0}}});
}

TEST(RotationMatrixTest, IsOrthonormal) {
    const Matrix3 m = RotationMatrix(0.3, -0.7, 1.1, RotationOrder::kZxy);
    const Matrix3 product = Multiply(m, Matrix3{{{m[0][0], m[1][0], m[2][0]},
                                                 {m[0][1], m[1][1], m[2][1]},
                                                 {m[0][2], m[1][2], m[2][2]}}});
    ExpectMatrixNear(product, Matrix3{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}});
}

TEST(PerspectiveMapTest, AnglesFromSliders) {
    const PerspectiveAngles a = PerspectiveAnglesFromSettings(30, -60, 100);
    EXPECT_NEAR(a.pitchDeg, 10.0, 1e-12);
    EXPECT_NEAR(a.yawDeg, 20.0, 1e-12);
    EXPECT_NEAR(a.rollDeg, -10.0, 1e-12);
}

TEST(PerspectiveMapTest, ZeroAnglesAreTheIdentity) {
    const PerspectiveParams p = MakePerspectiveParams(4000, {});
    EXPECT_NEAR(p.distance, 2000.0, 1e-9);
    for (const Point in : {Point{0, 0}, Point{-1999.5, 1499.5}, Point{37, -8}}) {
        const Point out = PerspectiveHomographyPoint(p, in);
        EXPECT_NEAR(out.x, in.x, 1e-9);
        EXPECT_NEAR(out.y, in.y, 1e-9);
    }
}

TEST(PerspectiveMapTest, CanvasCentreMapsToItselfForAnyTilt) {
    for (const PerspectiveAngles angles :
         {PerspectiveAngles{10, 0, 0}, PerspectiveAngles{0, -33.3, 0},
          PerspectiveAngles{-20, 15, 7}, PerspectiveAngles{33.3, 33.3, -10}}) {
        const PerspectiveParams p = MakePerspectiveParams(1333, angles);
        const Point out = PerspectiveHomographyPoint(p, {0.0, 0.0});
        EXPECT_NEAR(out.x, 0.0, 1e-9);
        EXPECT_NEAR(out.y, 0.0, 1e-9);
    }
}

TEST(PerspectiveMapTest, PureRotationTurnsAboutTheCentre) {
    const PerspectiveParams p = MakePerspectiveParams(800, {0.0, 0.0, 90.0});
    const Point out = PerspectiveHomographyPoint(p, {100.0, 0.0});
    EXPECT_NEAR(std::hypot(out.x, out.y), 100.0, 1e-9);
    EXPECT_NEAR(out.x, 0.0, 1e-9);
}

// A canvas three times as high as wide, tilted hard, has rows whose rays pass
// behind the virtual camera; they must land outside, not mirrored onto the
// picture.
TEST(PerspectiveMapTest, PointsBehindTheCameraFallOutside) {
    const PerspectiveParams p = MakePerspectiveParams(400, {33.3, 33.3, 0.0});
    const Point far = PerspectiveHomographyPoint(p, {200.0, -600.0});
    EXPECT_GT(std::fabs(far.x) + std::fabs(far.y), 1e6);
    const Point near = PerspectiveHomographyPoint(p, {100.0, 100.0});
    EXPECT_LT(std::fabs(near.x) + std::fabs(near.y), 1000.0);
}

TEST(PerspectiveCanvasTest, SidesAreFourThirdsTruncated) {
    EXPECT_EQ(CanvasSide(3000), 4000);
    EXPECT_EQ(CanvasSide(10), 13);
    EXPECT_EQ(CanvasSide(9), 12);
    EXPECT_EQ(CanvasSide(1), 1);
    TestImage img(10, 9, 48);
    const ImageBuffer canvas = DescribeCanvas(img.buffer(), img.data());
    EXPECT_EQ(canvas.width, 13);
    EXPECT_EQ(canvas.height, 12);
    EXPECT_EQ(canvas.rowBytes, 13 * 6);
    EXPECT_EQ(canvas.dataSize, 13 * 6 * 12);
    EXPECT_EQ(canvas.bitsPerPixel, 48);
}

// Each pixel encodes its position, so a row moved to the wrong place or a
// row overwritten before it was read is visible.
void FillPositions(TestImage& img) {
    for (std::int32_t y = 0; y < img.buffer().height; ++y)
        for (std::int32_t x = 0; x < img.buffer().width; ++x) img.SetPixel(x, y, x + 1, y + 1, 200);
}

TEST(PerspectiveCanvasTest, PlaceOnCanvasCentresWithinTheSameBlock) {
    TestImage img(10, 9, 24, 1.8);
    FillPositions(img);
    const ImageBuffer canvas = DescribeCanvas(img.buffer(), img.data());
    PlaceOnCanvas(canvas, img.buffer());
    // 13 x 12: c = 1 with 2 columns on the right, d = 1 with 2 rows below.
    for (std::int32_t y = 0; y < canvas.height; ++y) {
        for (std::int32_t x = 0; x < canvas.width; ++x) {
            const std::uint8_t* p = canvas.Row(y) + x * 3;
            const bool inside = x >= 1 && x < 11 && y >= 1 && y < 10;
            if (inside) {
                ASSERT_EQ(p[0], x) << x << "," << y;
                ASSERT_EQ(p[1], y) << x << "," << y;
                ASSERT_EQ(p[2], 200);
            } else {
                ASSERT_EQ(p[0] | p[1] | p[2], 0) << x << "," << y;
            }
        }
    }
}

TEST(PerspectiveCanvasTest, CropAfterPlaceGivesTheImageBack) {
    TestImage img(10, 9, 48, 1.8);
    FillPositions(img);
    const std::vector<std::uint8_t> before = img.Pixels();
    const ImageBuffer canvas = DescribeCanvas(img.buffer(), img.data());
    PlaceOnCanvas(canvas, img.buffer());
    const CropWindow centred = PlanCropWindow(10, 9, canvas, CropShifts{});
    CropToImage(img.buffer(), canvas, centred);  // same block, as on one route
    EXPECT_EQ(img.Pixels(), before);
}

TEST(PerspectiveCanvasTest, ShiftMovesThePictureAndIsLimitedToTheMargin) {
    TestImage img(30, 6, 24, 1.8);
    FillPositions(img);
    TestImage out(30, 6);
    const ImageBuffer canvas = DescribeCanvas(img.buffer(), img.data());  // 40 x 8
    PlaceOnCanvas(canvas, img.buffer());
    // 30 steps are 3 pixels: the picture moves right; -50 steps are 1 pixel
    // up.
    const CropWindow window = PlanCropWindow(30, 6, canvas, CropShifts{30, -50});
    EXPECT_FALSE(window.limited);
    EXPECT_EQ(window.shifts, (CropShifts{30, -50}));
    CropToImage(out.buffer(), canvas, window);
    EXPECT_EQ(out.Get(2, 0, 0), 0);
    EXPECT_EQ(out.Get(3, 0, 0), 1);
    EXPECT_EQ(out.Get(3, 0, 1), 2);
    EXPECT_EQ(out.Get(29, 4, 0), 27);
    EXPECT_EQ(out.Get(29, 4, 1), 6);
    EXPECT_EQ(out.Get(29, 5, 1), 0);
}

TEST(PerspectiveCanvasTest, ShiftIsLimitedToTheMargin) {
    // 3000 wide: a shift of 300 steps would be 3000 pixels; the margin is 500,
    // which is 50 steps.
    const ImageBuffer canvas = DescribeCanvas(DescribeImage(3000, 3, 24, nullptr), nullptr);
    ASSERT_EQ(canvas.width, 4000);
    CropWindow window = PlanCropWindow(3000, 3, canvas, CropShifts{300, 0});
    EXPECT_TRUE(window.limited);
    EXPECT_EQ(window.shiftX, 500);
    EXPECT_EQ(window.shifts, (CropShifts{50, 0}));
    window = PlanCropWindow(3000, 3, canvas, CropShifts{-300, 300});
    EXPECT_EQ(window.shiftX, -500);
    EXPECT_EQ(window.shiftY, 0);
    EXPECT_EQ(window.shifts, (CropShifts{-50, 0}));  // three rows: no vertical margin, d = 0
}

// A window that did not come from PlanCropWindow is kept inside the canvas
// rather than read past it.
TEST(PerspectiveCanvasTest, CropClampsAForeignWindow) {
    TestImage img(30, 6, 24, 1.8);
    FillPositions(img);
    const ImageBuffer canvas = DescribeCanvas(img.buffer(), img.data());
    PlaceOnCanvas(canvas, img.buffer());
    TestImage out(30, 6);
    CropWindow window;
    window.shiftX = 1 << 20;
    window.shiftY = -(1 << 20);
    CropToImage(out.buffer(), canvas, window);
    // Limited to the margins (5 columns, 1 row): the window starts at the
    // canvas's left edge and two rows down.
    EXPECT_EQ(out.Get(4, 0, 0), 0);
    EXPECT_EQ(out.Get(5, 0, 0), 1);
    EXPECT_EQ(out.Get(5, 0, 1), 2);
    EXPECT_EQ(out.Get(5, 5, 1), 0);  // the bottom margin
}

}  // namespace
}  // namespace quillon::engine
