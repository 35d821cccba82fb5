#include "engine/lens_correction.h"

#include <cmath>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "engine/image_ops.h"
#include "tests/engine/engine_test_support.h"

namespace quillon::engine {
namespace {

using P = ChannelPass;
using testing::Engine;
using testing::NoisyImage;
using testing::PositionImage;
using testing::TestImage;

// Terms of kind 0 are neutral; other kinds differ from each other.
RadialTerms TermsOfKind(int kind) {
    RadialTerms t;
    if (kind > 0) {
        t.c0 = 1.0 + 0.001 * kind;
        t.c2 = 0.002 * kind;
    }
    return t;
}

enum class Mode { kRadial, kHorizontal, kVertical, kRadialAndResize };

LensCorrectionRequest RequestOfKinds(const int kinds[3], Mode mode) {
    LensCorrectionRequest r;
    for (std::size_t c = 0; c < 3; ++c) {
        switch (mode) {
            case Mode::kRadial:
            case Mode::kRadialAndResize:
                r.radialEnabled = 1;
                r.radial[c] = TermsOfKind(kinds[c]);
                break;
            case Mode::kHorizontal:
                r.horizontalEnabled = 1;
                r.horizontalShift[c] = 0.25 * kinds[c];
                break;
            case Mode::kVertical:
                r.verticalEnabled = 1;
                r.verticalShift[c] = -0.5 * kinds[c];
                break;
        }
    }
    if (mode == Mode::kRadialAndResize) {
        r.resizeEnabled = 1;
        r.newWidth = 10;
        r.newHeight = 10;
    }
    return r;
}

// Over every assignment of equal, different and neutral terms to the three
// channels: channels with equal terms share one pass that uses their terms,
// each channel that needs resampling is written exactly once, neutral ones
// only by the copy, and the copy happens exactly when some channel is left.
TEST(PlanChannelPassesTest, EveryCombinationWritesEachChannelOnceWithItsTerms) {
    for (const Mode mode :
         {Mode::kRadial, Mode::kHorizontal, Mode::kVertical, Mode::kRadialAndResize}) {
        for (int code = 0; code < 64; ++code) {
            const int kinds[3] = {code % 4, code / 4 % 4, code / 16};
            const PassPlan plan = PlanChannelPasses(RequestOfKinds(kinds, mode));
            const bool resize = mode == Mode::kRadialAndResize;
            SCOPED_TRACE(::testing::Message() << "kinds " << kinds[0] << kinds[1] << kinds[2]
                                              << " mode " << static_cast<int>(mode));
            ASSERT_GE(plan.count, 1);
            if (kinds[0] == kinds[1] && kinds[1] == kinds[2]) {
                EXPECT_FALSE(plan.copyFirst);
                ASSERT_EQ(plan.count, 1);
                EXPECT_EQ(plan.passes[0], P::kAll);
                continue;
            }
            int writes[3] = {0, 0, 0};
            std::set<int> groups;
            for (int i = 0; i < plan.count; ++i) {
                const P pass = plan.passes[i];
                ASSERT_NE(pass, P::kAll);
                const int termsOf = PassTermsChannel(pass);
                EXPECT_TRUE(PassWritesChannel(pass, termsOf));
                for (int c = 0; c < 3; ++c) {
                    if (!PassWritesChannel(pass, c)) continue;
                    ++writes[c];
                    EXPECT_EQ(kinds[c], kinds[termsOf]) << "pass " << static_cast<int>(pass);
                }
                groups.insert(kinds[termsOf]);
            }
            bool anyLeft = false;
            for (int c = 0; c < 3; ++c) {
                const bool neutral = kinds[c] == 0 && !resize;
                EXPECT_EQ(writes[c], neutral ? 0 : 1) << "channel " << c;
                anyLeft = anyLeft || writes[c] == 0;
            }
            EXPECT_EQ(plan.copyFirst, anyLeft);
            EXPECT_EQ(static_cast<std::size_t>(plan.count), groups.size());
        }
    }
}

std::vector<P> Passes(const PassPlan& plan) {
    return std::vector<P>(plan.passes, plan.passes + plan.count);
}

// The order of the passes, for each branch of the plan.
TEST(PlanChannelPassesTest, PassOrderOfEachBranch) {
    struct Case {
        int r, g, b;
        bool copy;
        std::vector<P> passes;
    };
    const Case cases[] = {
        {0, 0, 1, true, {P::kBlue}},
        {1, 1, 0, true, {P::kRedGreen}},
        {1, 1, 2, false, {P::kRedGreen, P::kBlue}},
        {1, 0, 0, true, {P::kRed}},
        {0, 1, 1, true, {P::kGreenBlue}},
        {2, 1, 1, false, {P::kGreenBlue, P::kRed}},
        {0, 1, 0, true, {P::kGreen}},
        {1, 0, 1, true, {P::kRedBlue}},
        {1, 2, 1, false, {P::kRedBlue, P::kGreen}},
        {0, 1, 2, true, {P::kGreen, P::kBlue}},
        {1, 0, 2, true, {P::kBlue, P::kRed}},
        {1, 2, 0, true, {P::kRed, P::kGreen}},
        {1, 2, 3, false, {P::kRed, P::kGreen, P::kBlue}},
    };
    for (const Case& k : cases) {
        const int kinds[3] = {k.r, k.g, k.b};
        const PassPlan plan = PlanChannelPasses(RequestOfKinds(kinds, Mode::kRadial));
        EXPECT_EQ(plan.copyFirst, k.copy) << k.r << k.g << k.b;
        EXPECT_EQ(Passes(plan), k.passes) << k.r << k.g << k.b;
    }
    EXPECT_EQ(PlanChannelPasses(LensCorrectionRequest{}).count, 0);
}

// The limits of the channels are not compared: terms equal but for the
// limit still share a pass.
TEST(PlanChannelPassesTest, LimitsDoNotSplitChannels) {
    LensCorrectionRequest r;
    r.radialEnabled = 1;
    r.radial[0].limit = 1.5;
    r.radial[2].limit = 3.0;
    const PassPlan plan = PlanChannelPasses(r);
    EXPECT_EQ(Passes(plan), std::vector<P>{P::kAll});
}

TEST(MakeLensCorrectionRequestTest, TermsFromTheLensAndTheSettings) {
    std::uint8_t dummy = 0;
    const ImageBuffer source = DescribeImage(300, 200, 24, &dummy);
    const ImageBuffer destination = DescribeImage(301, 199, 24, &dummy);
    CorrectionSettings settings;
    settings.CaRed = 30;
    settings.CaBlue = -70;
    settings.PerspectScale = 125;
    const LensModel lens{0.01f, -0.02f, 0.03f, 0.98f};

    const LensCorrectionRequest both =
        MakeLensCorrectionRequest(destination, source, true, true, false, settings, lens);
    EXPECT_EQ(both.radialEnabled, 1);
    EXPECT_EQ(both.resizeEnabled, 0);
    EXPECT_EQ(both.verticalEnabled + both.horizontalEnabled, 0);
    const double limit = std::sqrt(300.0 * 300 + 200 * 200) / 200;
    EXPECT_DOUBLE_EQ(both.radial[0].c0, double(0.98f) + 0.003);
    EXPECT_DOUBLE_EQ(both.radial[1].c0, double(0.98f));
    EXPECT_DOUBLE_EQ(both.radial[2].c0, double(0.98f) - 0.007);
    for (const RadialTerms& t : both.radial) {
        EXPECT_EQ(t.c1, double(0.03f));
        EXPECT_EQ(t.c2, double(-0.02f));
        EXPECT_EQ(t.c3, double(0.01f));
        EXPECT_DOUBLE_EQ(t.limit, limit);
    }

    const LensCorrectionRequest caOnly =
        MakeLensCorrectionRequest(destination, source, true, false, false, settings, lens);
    EXPECT_DOUBLE_EQ(caOnly.radial[0].c0, 1.003);
    EXPECT_EQ(caOnly.radial[1].c0, 1.0);
    EXPECT_EQ(caOnly.radial[0].c3, 0.0);

    const LensCorrectionRequest resize =
        MakeLensCorrectionRequest(destination, source, false, false, true, settings, lens);
    EXPECT_EQ(resize.radialEnabled, 0);
    EXPECT_EQ(resize.resizeEnabled, 1);
    EXPECT_EQ(resize.newWidth, 376);   // 301 x 1.25 = 376.25
    EXPECT_EQ(resize.newHeight, 248);  // 199 x 1.25 = 248.75, truncated
}

// Shifts act on destination coordinates, the polynomial sees the shifted
// point, the resize acts last.
TEST(BuildPassStackTest, StagesInTheirOrder) {
    LensCorrectionRequest r;
    r.horizontalEnabled = 1;
    r.horizontalShift = {0.0, 3.0, 0.0};
    r.verticalEnabled = 1;
    r.verticalShift = {0.0, -4.0, 0.0};
    r.radialEnabled = 1;
    r.radial[1] = RadialTerms{2.0, 0.0, 0.0, 0.0, 1000.0};
    r.resizeEnabled = 1;
    r.newWidth = 50;
    r.newHeight = 0;  // the height follows the width's factor
    std::uint8_t dummy = 0;
    const ImageBuffer source = DescribeImage(100, 40, 24, &dummy);
    PassStack stack;
    BuildPassStack(r, 1, source, stack);
    EXPECT_EQ(stack.stack.size(), 4u);
    const Point p = ExecuteStack(Point{1.0, 1.0}, stack.stack);
    EXPECT_DOUBLE_EQ(p.x, (1.0 + 3.0) * 2.0 * 2.0);
    EXPECT_DOUBLE_EQ(p.y, (1.0 - 4.0) * 2.0 * 2.0);

    r.newWidth = 0;
    r.newHeight = 20;  // without a width, both follow the height's factor
    PassStack byHeight;
    BuildPassStack(r, 1, source, byHeight);
    EXPECT_DOUBLE_EQ(byHeight.scale.sx, 2.0);
    EXPECT_DOUBLE_EQ(byHeight.scale.sy, 2.0);
}

TEST(RunLensCorrectionToolTest, NothingEnabledLeavesTheDestination) {
    Engine engine;
    EngineContext context = engine.Context();
    const TestImage source = PositionImage(9, 7, 24);
    TestImage destination = NoisyImage(9, 7, 24, 3);
    const TestImage before = destination;
    EXPECT_TRUE(RunLensCorrectionTool(LensCorrectionRequest{}, source.buffer(),
                                      destination.buffer(), context)
                    .ok());
    EXPECT_EQ(destination.bytes(), before.bytes());
}

// A red-only correction: one copy for green and blue, one pass for red that
// gives what a red remap with red's terms gives.
TEST(RunLensCorrectionToolTest, RedOnlyCopiesGreenAndBlue) {
    Engine engine(3);
    EngineContext context = engine.Context();
    for (const std::int32_t bits : {24, 48}) {
        const TestImage source = NoisyImage(301, 221, bits, 9);
        CorrectionSettings settings;
        settings.CaRed = 100;
        TestImage destination(301, 221, bits);
        ASSERT_TRUE(RunLensCorrection(destination.buffer(), source.buffer(), true, false, false,
                                      settings, LensModel{}, context)
                        .ok());
        const LensCorrectionRequest request = MakeLensCorrectionRequest(
            destination.buffer(), source.buffer(), true, false, false, settings, LensModel{});
        PassStack red;
        BuildPassStack(request, 0, source.buffer(), red);
        TestImage expected(301, 221, bits);
        ASSERT_TRUE(
            RemapImage(source.buffer(), expected.buffer(), red.stack, P::kAll, context).ok());
        for (std::int32_t y = 0; y < 221; ++y) {
            for (std::int32_t x = 0; x < 301; ++x) {
                ASSERT_EQ(destination.At(x, y, 0), expected.At(x, y, 0));
                ASSERT_EQ(destination.At(x, y, 1), source.At(x, y, 1));
                ASSERT_EQ(destination.At(x, y, 2), source.At(x, y, 2));
            }
        }
        // Red sampled at 1.01 times the offset leaves the image near the edges.
        EXPECT_EQ(destination.At(0, 110, 0), 0u);  // x = -150 * 1.01 + 150 = -1.5
        EXPECT_EQ(destination.At(150, 0, 0), 0u);  // y = -110 * 1.01 + 110 = -1.1
        EXPECT_NE(destination.At(150, 1, 0), 0u);  // y = -0.09
    }
}

// CaRed = CaBlue without distortion: red and blue share a pass, green is copied.
TEST(RunLensCorrectionToolTest, EqualRedAndBlueShareAPass) {
    Engine engine;
    EngineContext context = engine.Context();
    const TestImage source = NoisyImage(40, 30, 24, 4);
    CorrectionSettings settings;
    settings.CaRed = -60;
    settings.CaBlue = -60;
    const LensCorrectionRequest request = MakeLensCorrectionRequest(
        source.buffer(), source.buffer(), true, false, false, settings, LensModel{});
    const PassPlan plan = PlanChannelPasses(request);
    EXPECT_TRUE(plan.copyFirst);
    EXPECT_EQ(Passes(plan), std::vector<P>{P::kRedBlue});
    TestImage destination(40, 30, 24);
    ASSERT_TRUE(
        RunLensCorrectionTool(request, source.buffer(), destination.buffer(), context).ok());
    PassStack shared;
    BuildPassStack(request, 0, source.buffer(), shared);
    TestImage expected(40, 30, 24);
    ASSERT_TRUE(
        RemapImage(source.buffer(), expected.buffer(), shared.stack, P::kAll, context).ok());
    for (std::int32_t y = 0; y < 30; ++y) {
        for (std::int32_t x = 0; x < 40; ++x) {
            ASSERT_EQ(destination.At(x, y, 0), expected.At(x, y, 0));
            ASSERT_EQ(destination.At(x, y, 1), source.At(x, y, 1));
            ASSERT_EQ(destination.At(x, y, 2), expected.At(x, y, 2));
        }
    }
}

}  // namespace
}  // namespace quillon::engine
