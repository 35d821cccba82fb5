#include "engine/correction_settings.h"

#include <cmath>

#include <gtest/gtest.h>

namespace quillon::engine {
namespace {

TEST(CorrectionSettingsTest, ClampsToTheRanges) {
    EXPECT_EQ(ClampCorChoice(7), 2);
    EXPECT_EQ(ClampCorChoice(1), 1);
    EXPECT_EQ(ClampCorChoice(-3), 0);
    EXPECT_EQ(ClampProcessors(0), 1);
    EXPECT_EQ(ClampProcessors(-5), 1);
    EXPECT_EQ(ClampProcessors(100), 64);
    EXPECT_EQ(ClampProcessors(4), 4);
    EXPECT_EQ(ClampFisheyeDistortion(20), 50);
    EXPECT_EQ(ClampFisheyeDistortion(171), 170);

    CorrectionSettings s;
    s.VigAmount = 500;
    s.VigMidpoint = -1;
    s.CaBlue = -101;
    s.PerspectScale = 10;
    s.Resize = 9;
    s.PerspectShiftHorz = 900;  // bounded by the crop, not here
    ClampToRanges(s);
    EXPECT_EQ(s.VigAmount, 100);
    EXPECT_EQ(s.VigMidpoint, 0);
    EXPECT_EQ(s.CaBlue, -100);
    EXPECT_EQ(s.PerspectScale, 75);
    EXPECT_EQ(s.Resize, 1);
    EXPECT_EQ(s.PerspectShiftHorz, 900);

    // The defaults are inside every range.
    const CorrectionSettings defaults;
    CorrectionSettings clamped = defaults;
    ClampToRanges(clamped);
    EXPECT_EQ(clamped.FisheyeDistortion, 140);
    EXPECT_EQ(clamped.VigMidpoint, 50);
    EXPECT_EQ(clamped.Processors, 4);
    EXPECT_EQ(clamped.PerspectScale, 100);
}

float Poly(float a, float b, float c, float r) { return ((a * r + b) * r + c) * r; }

// Without resize the middle of the long edges keeps its place: s(1) = 1.
TEST(ComputeConstantTermTest, WithoutResizeKeepsTheLongEdges) {
    EXPECT_FLOAT_EQ(ComputeConstantTerm(0.01f, -0.035f, 0.02f, false, 6000, 4000), 1.005f);
    const float d = ComputeConstantTerm(0.03f, 0.1f, -0.2f, false, 10, 10);
    EXPECT_FLOAT_EQ(Poly(0.03f, 0.1f, -0.2f, 1.0f) + d, 1.0f);
    // Inverted mode negates the coefficients before anything else.
    EXPECT_FLOAT_EQ(ComputeConstantTerm(0.01f, -0.035f, 0.02f, false, 6000, 4000, true), 0.995f);
}

// With a = b = 0 the candidates are 1 and the corner h alone.
TEST(ComputeConstantTermTest, ResizeWithLinearTermOnly) {
    const float h = std::sqrt(1.5f * 1.5f + 1.0f);  // 3:2 image
    EXPECT_FLOAT_EQ(ComputeConstantTerm(0.0f, 0.0f, 0.04f, true, 3000, 2000), 1.0f - 0.04f * h);
    EXPECT_FLOAT_EQ(ComputeConstantTerm(0.0f, 0.0f, -0.04f, true, 2000, 3000), 1.04f);
}

// b^2 - 3ac < 0: f has no turning points; only 1 and h count.
TEST(ComputeConstantTermTest, ResizeWithoutTurningPoints) {
    const float a = 0.1f, b = 0.0f, c = 0.2f;  // b^2 - 3ac = -0.06
    const float h = std::sqrt(2.0f);
    EXPECT_FLOAT_EQ(ComputeConstantTerm(a, b, c, true, 500, 500),
                    1.0f - std::fmax(Poly(a, b, c, 1.0f), Poly(a, b, c, h)));
}

// A maximum of f inside [1, h] is what d must cancel: f(r) = -0.1 r^3 +
// 0.3 r^2 turns at r = 2, inside the corner radius sqrt(5) of a 2:1 image.
TEST(ComputeConstantTermTest, ResizeFindsInnerMaximum) {
    EXPECT_NEAR(ComputeConstantTerm(-0.1f, 0.3f, 0.0f, true, 2000, 1000), 1.0f - 0.4f, 1e-6);
    // With a = 0 the turning point of b r^2 + c r: r = -c / 2b = 1.5.
    EXPECT_NEAR(ComputeConstantTerm(0.0f, -0.1f, 0.3f, true, 3000, 2000), 1.0f - 0.225f, 1e-6);
    // A turning point below 1 is ignored.
    EXPECT_NEAR(ComputeConstantTerm(0.0f, -0.1f, 0.1f, true, 3000, 2000),
                1.0f - std::fmax(0.0f, Poly(0.0f, -0.1f, 0.1f, std::sqrt(3.25f))), 1e-6);
}

// The property resize promises: the largest scale between the long edges and
// the corners is exactly 1.
TEST(ComputeConstantTermTest, ResizeMakesTheLargestScaleOne) {
    std::uint32_t state = 99;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>((state >> 8) / 16777216.0 - 0.5);
    };
    for (int i = 0; i < 200; ++i) {
        const float a = 0.2f * next(), b = 0.4f * next(), c = 0.4f * next();
        const float d = ComputeConstantTerm(a, b, c, true, 4000, 3000);
        const double h = std::sqrt(1.0 + (4.0 / 3) * (4.0 / 3));
        double largest = -1e9;
        for (double r = 1.0; r <= h; r += (h - 1.0) / 4000) {
            largest = std::fmax(largest, ((a * r + b) * r + c) * r + d);
        }
        EXPECT_NEAR(largest, 1.0, 2e-5) << a << " " << b << " " << c;
    }
}

}  // namespace
}  // namespace quillon::engine
