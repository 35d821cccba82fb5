#include "engine/vignetting.h"

#include <cmath>
#include <tuple>

#include <gtest/gtest.h>

#include "tests/engine/correction_fixture.h"

namespace quillon::engine {
namespace {

using testing::TestImage;

void VignetteAll(const ImageBuffer& image, int amount, int midpoint) {
    const VignettingConstants k =
        MakeVignettingConstants(image.width, image.height, amount, midpoint);
    VignetteQuadrantRows(image, image, k, 0, k.halfHeight);
    VignetteCentreLines(image, image, k);
}

TEST(VignettingTest, CornerGainIsFourAtFullAmountAndClamps) {
    TestImage img(8, 6);
    img.Fill(50);
    img.SetPixel(7, 5, 100, 50, 255);  // a mirrored corner must get the same gain
    VignetteAll(img.buffer(), 100, 0);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(img.Get(0, 0, c), 200);
        EXPECT_EQ(img.Get(7, 0, c), 200);
        EXPECT_EQ(img.Get(0, 5, c), 200);
    }
    EXPECT_EQ(img.Get(7, 5, 0), 255);  // 400 clamps
    EXPECT_EQ(img.Get(7, 5, 1), 200);
    EXPECT_EQ(img.Get(7, 5, 2), 255);
    // Nearer the centre the gain is smaller but still brightens.
    EXPECT_GT(img.Get(3, 2, 0), 50);
    EXPECT_LT(img.Get(3, 2, 0), img.Get(0, 0, 0));
}

TEST(VignettingTest, SixteenBitSamplesUseTheFullRange) {
    TestImage img(4, 4, 48);
    img.Fill(10000);
    img.SetPixel(3, 3, 20000, 16383, 16384);
    VignetteAll(img.buffer(), 100, 50);
    EXPECT_EQ(img.Get(0, 0, 0), 40000);
    EXPECT_EQ(img.Get(3, 3, 0), 65535);
    EXPECT_EQ(img.Get(3, 3, 1), 65532);
    EXPECT_EQ(img.Get(3, 3, 2), 65535);
}

TEST(VignettingTest, NegativeAmountDarkensCornersByOneOverOnePointSevenFive) {
    TestImage img(10, 4);
    img.Fill(175);
    VignetteAll(img.buffer(), -100, 50);
    EXPECT_EQ(img.Get(0, 0, 1), 100);
    EXPECT_EQ(img.Get(9, 3, 2), 100);
}

// Every pixel of a flat image must get exactly the gain of its own distance in
// the mirrored scheme; a pixel visited twice or a wrong mirror shows up here.
void ExpectGainsMatchDistances(std::int32_t w, std::int32_t h) {
    SCOPED_TRACE(::testing::Message() << w << " x " << h);
    TestImage img(w, h);
    img.Fill(60);
    VignetteAll(img.buffer(), 100, 30);
    const VignettingConstants k = MakeVignettingConstants(w, h, 100, 30);
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            const std::int32_t j = std::min(x, w - 1 - x);
            const std::int32_t i = std::min(y, h - 1 - y);
            const double dx = k.halfWidth - j;
            const double dy = k.halfHeight - i;
            const bool centreColumn = (w % 2 == 1) && x == k.halfWidth;
            const bool centreRow = (h % 2 == 1) && y == k.halfHeight;
            double r = std::sqrt(dx * dx + dy * dy);
            if (centreColumn) r = dy;
            if (centreRow) r = dx;
            int expected = static_cast<int>(60.0 * VignettingGain(k, r));
            if (centreColumn && centreRow) expected = 60;
            ASSERT_EQ(img.Get(x, y, 0), expected) << "at " << x << ", " << y;
            ASSERT_EQ(img.Get(x, y, 2), expected) << "at " << x << ", " << y;
        }
    }
}

TEST(VignettingTest, EveryPixelGetsTheGainOfItsDistance) {
    ExpectGainsMatchDistances(8, 6);
    ExpectGainsMatchDistances(7, 5);
    ExpectGainsMatchDistances(6, 5);
    ExpectGainsMatchDistances(7, 4);
    ExpectGainsMatchDistances(1, 1);
    ExpectGainsMatchDistances(2, 3);
    ExpectGainsMatchDistances(17, 16);
}

TEST(VignettingTest, ThreeByThreeHasCornersEdgesAndAnUntouchedCentre) {
    TestImage img(3, 3);
    img.Fill(60);
    VignetteAll(img.buffer(), 100, 0);
    const VignettingConstants k = MakeVignettingConstants(3, 3, 100, 0);
    const int corner = static_cast<int>(60 * VignettingGain(k, std::sqrt(2.0)));
    const int edge = static_cast<int>(60 * VignettingGain(k, 1.0));
    EXPECT_GT(corner, edge);
    EXPECT_GT(edge, 60);
    EXPECT_EQ(img.Get(0, 0, 0), corner);
    EXPECT_EQ(img.Get(2, 0, 0), corner);
    EXPECT_EQ(img.Get(0, 2, 0), corner);
    EXPECT_EQ(img.Get(2, 2, 0), corner);
    EXPECT_EQ(img.Get(1, 0, 0), edge);
    EXPECT_EQ(img.Get(1, 2, 0), edge);
    EXPECT_EQ(img.Get(0, 1, 0), edge);
    EXPECT_EQ(img.Get(2, 1, 0), edge);
    EXPECT_EQ(img.Get(1, 1, 0), 60);
}

TEST(VignettingTest, OddSizesStayJustBelowFourInTheCorner) {
    const VignettingConstants k = MakeVignettingConstants(601, 401, 100, 50);
    // The corner of an odd image lies at (300, 200) from the centre pixel, just
    // inside the half diagonal sqrt(601^2 + 401^2) / 2.
    const double gain = VignettingGain(k, std::sqrt(300.0 * 300.0 + 200.0 * 200.0));
    EXPECT_LT(gain, 4.0);
    EXPECT_GT(gain, 3.8);
    EXPECT_DOUBLE_EQ(VignettingGain(k, 0.0), 1.0);
}

TEST(VignettingTest, LargerMidpointKeepsTheMiddleDarker) {
    const VignettingConstants soft = MakeVignettingConstants(600, 400, 100, 0);
    const VignettingConstants steep = MakeVignettingConstants(600, 400, 100, 100);
    EXPECT_GT(VignettingGain(soft, 180.0), VignettingGain(steep, 180.0));
    EXPECT_NEAR(VignettingGain(steep, 180.0), 1.0, 1e-3);
    EXPECT_NEAR(VignettingGain(soft, soft.radius), 4.0, 1e-12);
    EXPECT_NEAR(VignettingGain(steep, steep.radius), 4.0, 1e-12);
}

}  // namespace
}  // namespace quillon::engine

namespace quillon::engine {
namespace {

using testing::TestEngine;
using testing::TestImage;

// Bands write mirrored rows; a band boundary in the wrong place would visit a
// row twice or not at all, which the single-band run does not.
TEST(ApplyVignettingTest, SameResultForOneAndFourProcessors) {
    for (const auto& [w, h, bits] : {std::tuple{301, 203, 24}, std::tuple{64, 9, 48},
                                     std::tuple{5, 3, 24}, std::tuple{2, 2, 24}}) {
        SCOPED_TRACE(::testing::Message() << w << " x " << h << " x " << bits);
        CorrectionSettings settings;
        settings.VigAmount = 80;
        settings.VigMidpoint = 20;
        TestImage one(w, h, bits);
        testing::FillPattern(one.buffer());
        TestImage four(w, h, bits);
        testing::FillPattern(four.buffer());
        TestImage reference(w, h, bits);
        testing::FillPattern(reference.buffer());

        TestEngine single(1);
        TestEngine quad(4);
        ASSERT_TRUE(single.started && quad.started);
        ApplyVignetting(one.buffer(), settings, single.pool);
        ApplyVignetting(four.buffer(), settings, quad.pool);
        EXPECT_EQ(one.bytes(), four.bytes());
        EXPECT_NE(one.bytes(), reference.bytes());

        const VignettingConstants k = MakeVignettingConstants(w, h, 80, 20);
        VignetteQuadrantRows(reference.buffer(), reference.buffer(), k, 0, k.halfHeight);
        VignetteCentreLines(reference.buffer(), reference.buffer(), k);
        EXPECT_EQ(one.bytes(), reference.bytes());
    }
}

// Out of place, every destination pixel must be written: a destination that
// held something else must end up as the in-place result (odd sides leave a
// centre pixel that no gain touches), and the source must stay as it was.
TEST(ApplyVignettingTest, IntoAnotherImageEqualsInPlace) {
    TestEngine engine(3);
    ASSERT_TRUE(engine.started);
    for (const auto& [w, h, bits] : {std::tuple{31, 17, 24}, std::tuple{31, 16, 48},
                                     std::tuple{30, 17, 24}, std::tuple{1, 1, 48}}) {
        SCOPED_TRACE(::testing::Message() << w << " x " << h << " x " << bits);
        CorrectionSettings settings;
        settings.VigAmount = -45;
        settings.VigMidpoint = 70;
        TestImage inPlace(w, h, bits);
        testing::FillPattern(inPlace.buffer(), 3);
        TestImage source(w, h, bits);
        testing::FillPattern(source.buffer(), 3);
        const std::vector<std::uint8_t> before = source.Pixels();
        TestImage destination(w, h, bits);
        destination.Fill(201);

        ApplyVignetting(inPlace.buffer(), settings, engine.pool);
        ApplyVignetting(source.buffer(), destination.buffer(), settings, engine.pool);
        EXPECT_EQ(destination.Pixels(), inPlace.Pixels());
        EXPECT_EQ(source.Pixels(), before);
    }
}

}  // namespace
}  // namespace quillon::engine
