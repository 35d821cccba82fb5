#include "engine/chromatic_aberration.h"

#include <cmath>

#include <gtest/gtest.h>

#include "engine/lens_correction.h"
#include "engine/run_correction.h"
#include "tests/engine/correction_fixture.h"

namespace quillon::engine {
namespace {

using testing::Sample;
using testing::TestEngine;
using testing::TestImage;

LensCorrectionRequest CaRequest(int caRed, int caBlue) {
    CorrectionSettings settings;
    settings.CaRed = caRed;
    settings.CaBlue = caBlue;
    const ImageBuffer image = DescribeImage(1000, 600, 24, nullptr);
    return MakeLensCorrectionRequest(image, image, true, false, false, settings, LensModel{});
}

TEST(ChromaticAberrationTest, RedAloneIsOneCopyAndOneRedPass) {
    const LensCorrectionRequest request = CaRequest(100, 0);
    EXPECT_DOUBLE_EQ(request.radial[0].c0, 1.01);
    EXPECT_DOUBLE_EQ(request.radial[1].c0, 1.0);
    EXPECT_DOUBLE_EQ(request.radial[2].c0, 1.0);
    const PassPlan plan = PlanChannelPasses(request);
    EXPECT_TRUE(plan.copyFirst);
    ASSERT_EQ(plan.count, 1);
    EXPECT_EQ(plan.passes[0], ChannelPass::kRed);
}

TEST(ChromaticAberrationTest, EqualRedAndBlueShareOnePass) {
    const PassPlan plan = PlanChannelPasses(CaRequest(-40, -40));
    EXPECT_TRUE(plan.copyFirst);
    ASSERT_EQ(plan.count, 1);
    EXPECT_EQ(plan.passes[0], ChannelPass::kRedBlue);
}

// Red sampled at 1.01 times the offset leaves the source about 1 % of the half
// side before the edge; there red must be black while green and blue, copied,
// keep every pixel.
TEST(ChromaticAberrationTest, RedCorrectionBlanksAThinRedBorder) {
    TestEngine engine;
    ASSERT_TRUE(engine.started);
    TestImage source(1000, 600);
    TestImage destination(1000, 600);
    source.Fill(128);
    const std::vector<std::uint8_t> before = source.Pixels();
    CorrectionSettings settings;
    settings.CaRed = 100;
    LensModel lens;
    const CorrectionInputs inputs{settings, lens, LensState{}};
    CorrectionScratch scratch;
    ASSERT_TRUE(
        testing::Correct(source.buffer(), destination.buffer(), inputs, scratch, engine.context)
            .ok());
    EXPECT_EQ(source.Pixels(), before);

    auto blankRedColumns = [&](std::int32_t row) {
        int count = 0;
        for (std::int32_t x = 0; x < 1000; ++x)
            count += Sample(destination.buffer(), x, row, 0) == 0;
        return count;
    };
    auto blankRedRows = [&](std::int32_t column) {
        int count = 0;
        for (std::int32_t y = 0; y < 600; ++y)
            count += Sample(destination.buffer(), column, y, 0) == 0;
        return count;
    };
    // 1 % of 500 is 5 pixels on each side, 1 % of 300 is 3.
    EXPECT_NEAR(blankRedColumns(300), 10, 2);
    EXPECT_NEAR(blankRedRows(500), 6, 2);
    EXPECT_EQ(Sample(destination.buffer(), 0, 300, 0), 0);
    EXPECT_EQ(Sample(destination.buffer(), 999, 300, 0), 0);
    EXPECT_EQ(Sample(destination.buffer(), 500, 300, 0), 128);
    EXPECT_EQ(Sample(destination.buffer(), 10, 300, 0), 128);
    for (std::int32_t y = 0; y < 600; y += 7)
        for (std::int32_t x = 0; x < 1000; x += 3) {
            ASSERT_EQ(Sample(destination.buffer(), x, y, 1), 128);
            ASSERT_EQ(Sample(destination.buffer(), x, y, 2), 128);
        }
}

TEST(ShiftForDetailTest, ShiftsFollowTheRegionsOffsetFromTheCentre) {
    const DetailRegion region{4000, 3000, 3000, 0, 200, 100};
    const DetailShifts s = ComputeDetailShifts(region, 100, -50);
    // u = 1100 / 1500, v = -1450 / 1500; eR = 1500 / 1.01 - 1500,
    // eB = 1500 / 0.995 - 1500.
    const double u = 1100.0 / 1500.0;
    const double v = -1450.0 / 1500.0;
    const double eR = 1500.0 / 1.01 - 1500.0;
    const double eB = 1500.0 / 0.995 - 1500.0;
    EXPECT_NEAR(s.redX, -u * eR, 1e-9);
    EXPECT_NEAR(s.redY, -v * eR, 1e-9);
    EXPECT_NEAR(s.blueX, -u * eB, 1e-9);
    EXPECT_NEAR(s.blueY, -v * eB, 1e-9);
    // Outward for a magnified red: the region right of and above the centre
    // samples red further right and higher up.
    EXPECT_GT(s.redX, 10.0);
    EXPECT_LT(s.redY, -14.0);
}

TEST(ShiftForDetailTest, CentredRegionIsAPlainCopy) {
    TestEngine engine;
    TestImage source(200, 100);
    testing::FillPattern(source.buffer());
    TestImage destination(200, 100);
    const DetailRegion region{4000, 3000, 1900, 1450, 200, 100};
    ASSERT_TRUE(
        ShiftForDetail(region, 100, -100, source.buffer(), destination.buffer(), engine.context)
            .ok());
    EXPECT_EQ(destination.Pixels(), source.Pixels());
}

TEST(ShiftForDetailTest, OffCentreRegionMovesRedAndBlueOnly) {
    TestEngine engine;
    TestImage source(200, 100);
    // Red encodes x and blue y, so a shifted sample shows as a changed value.
    for (std::int32_t y = 0; y < 100; ++y)
        for (std::int32_t x = 0; x < 200; ++x) source.SetPixel(x, y, x, 77, y + 100);
    TestImage destination(200, 100);
    const DetailRegion region{4000, 3000, 3000, 0, 200, 100};
    ASSERT_TRUE(
        ShiftForDetail(region, 100, -50, source.buffer(), destination.buffer(), engine.context)
            .ok());
    const DetailShifts s = ComputeDetailShifts(region, 100, -50);
    for (std::int32_t y = 20; y < 80; y += 5) {
        for (std::int32_t x = 20; x < 180; x += 7) {
            const double red = x + s.redX;
            const double blue = y + s.blueY + 100;
            if (red >= 1 && red <= 198) {
                EXPECT_NEAR(destination.Get(x, y, 0), red, 1.0) << x << "," << y;
            }
            EXPECT_NEAR(destination.Get(x, y, 2), blue, 1.0) << x << "," << y;
            EXPECT_EQ(destination.Get(x, y, 1), 77);
        }
    }
    // A red sample beyond the right edge of the region is black.
    EXPECT_EQ(destination.Get(199, 50, 0), 0);
}

}  // namespace
}  // namespace quillon::engine
