#include "engine/remap.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "engine/lens_correction.h"
#include "engine/transform_stack.h"
#include "tests/engine/engine_test_support.h"

namespace quillon::engine {
namespace {

using testing::Engine;
using testing::NoisyImage;
using testing::PositionImage;
using testing::ReferenceConvert;
using testing::ReferenceRemap;
using testing::TestImage;

constexpr double kOuterHalf = -0.09375;  // K(1.5)
constexpr double kInnerHalf = 0.59375;   // K(0.5)

struct ShiftStack {
    ShiftStack(double dx, double dy) {
        x.shift = dx;
        y.shift = dy;
        EXPECT_TRUE(stack.Add(ShiftX, &x));
        EXPECT_TRUE(stack.Add(ShiftY, &y));
    }
    ShiftParams x, y;
    TransformStack stack;
};

TEST(SampleTablesTest, ConvertsTheGoldenValues) {
    Engine engine;
    const EngineContext context = engine.Context();
    SampleTables eight;
    ASSERT_TRUE(BuildSampleTables(24, eight, context).ok());
    EXPECT_EQ(eight.Convert(255.97), 255);  // q = 4095, beyond the last level
    EXPECT_EQ(eight.Convert(-0.3), 0);      // q = -4
    EXPECT_EQ(eight.Convert(12.5), 13);     // q = 200, half rounds up
    EXPECT_EQ(eight.Convert(12.4999), 12);  // q = 199: truncated to 1/16 first
    EXPECT_EQ(eight.Convert(254.5), 255);
    EXPECT_EQ(eight.Convert(1e9), 255);
    EXPECT_EQ(eight.Convert(0.03), 0);

    SampleTables sixteen;
    ASSERT_TRUE(BuildSampleTables(48, sixteen, context).ok());
    EXPECT_EQ(sixteen.Convert(65535.97), 65535);
    EXPECT_EQ(sixteen.Convert(65534.5), 65535);
    EXPECT_EQ(sixteen.Convert(-0.3), 0);
    EXPECT_EQ(sixteen.Convert(12.5), 13);
    EXPECT_EQ(sixteen.Convert(12.49), 12);  // q = 49: 12.25
    EXPECT_EQ(sixteen.Convert(12.75), 13);
    EXPECT_EQ(engine.sink.Count(), 0u);
}

TEST(SampleTablesTest, TableAgreesWithTheRuleOverTheWholeRange) {
    Engine engine;
    for (const std::int32_t bits : {24, 48}) {
        SampleTables tables;
        ASSERT_TRUE(BuildSampleTables(bits, tables, engine.Context()).ok());
        const double top = bits == 24 ? 258.0 : 65538.0;
        const double step = bits == 24 ? 1.0 / 64 + 1e-7 : 0.37;
        for (double v = -3.0; v < top; v += step) {
            ASSERT_EQ(tables.Convert(v), ReferenceConvert(v, bits == 48)) << v;
        }
    }
}

TEST(SampleTablesTest, RefusesOtherDepthsSilently) {
    Engine engine;
    SampleTables tables;
    EXPECT_FALSE(BuildSampleTables(32, tables, engine.Context()).ok());
    EXPECT_EQ(engine.sink.Count(), 0u);
}

TEST(KeysKernelTest, MatchesBothPolynomials) {
    for (double t = 0.0; t <= 2.0; t += 0.03125) {
        EXPECT_NEAR(KeysKernel(t), testing::ReferenceKernel(t), 1e-12) << t;
    }
    EXPECT_EQ(KeysKernel(0.0), 1.0);
    EXPECT_EQ(KeysKernel(1.0), 0.0);
    EXPECT_EQ(KeysKernel(2.0), 0.0);
    EXPECT_EQ(KeysKernel(0.5), kInnerHalf);
    EXPECT_EQ(KeysKernel(1.5), kOuterHalf);
}

// An empty stack maps every pixel onto itself, where the kernel's weights are
// exactly 0, 1, 0, 0: every image must come back bit for bit, in both depths
// and at the sizes where the border block and the in-place block alternate.
TEST(RemapImageTest, IdentityStackReproducesTheImage) {
    Engine engine(4);
    EngineContext context = engine.Context();
    const TransformStack identity;
    const std::pair<int, int> sizes[] = {{1, 1},   {2, 3},   {3, 2}, {15, 16},
                                         {16, 17}, {17, 15}, {45, 4}};
    for (const bool wide : {true, false}) {
        context.allowWideVectors = wide;
        for (const std::int32_t bits : {24, 48}) {
            for (const auto& [w, h] : sizes) {
                const TestImage source = PositionImage(w, h, bits);
                TestImage destination(w, h, bits);
                ASSERT_TRUE(RemapImage(source.buffer(), destination.buffer(), identity,
                                       ChannelPass::kAll, context)
                                .ok());
                EXPECT_EQ(destination.bytes(), source.bytes()) << w << "x" << h << " " << bits;
            }
        }
    }
}

// Whole-pixel shifts also land on pixel centres; the rows that fall off the
// top at y = -1 are still valid and repeat the first row, columns beyond the
// right edge are black.
TEST(RemapImageTest, WholePixelShiftMovesPixelsExactly) {
    Engine engine;
    EngineContext context = engine.Context();
    for (const std::int32_t bits : {24, 48}) {
        const TestImage source = PositionImage(16, 17, bits);
        TestImage destination(16, 17, bits);
        ShiftStack shift(2.0, -1.0);
        ASSERT_TRUE(RemapImage(source.buffer(), destination.buffer(), shift.stack,
                               ChannelPass::kAll, context)
                        .ok());
        for (std::int32_t y = 0; y < 17; ++y) {
            for (std::int32_t x = 0; x < 16; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const std::uint32_t expected =
                        x + 2 < 16 ? source.At(x + 2, std::max(y - 1, 0), c) : 0;
                    ASSERT_EQ(destination.At(x, y, c), expected) << x << "," << y << " " << bits;
                }
            }
        }
    }
}

// Half-pixel positions weight the four columns by K(1.5), K(0.5), K(0.5),
// K(1.5). A step from 0 to 255 gives exactly 127.5, which rounds up; a peak
// overshoots above 255 and a notch below 0, and both are clamped.
TEST(RemapImageTest, HalfPixelGoldenValues) {
    Engine engine;
    EngineContext context = engine.Context();
    TestImage source(8, 1, 24);
    const std::uint32_t red[8] = {0, 0, 255, 255, 255, 255, 0, 0};
    const std::uint32_t green[8] = {0, 255, 255, 0, 0, 0, 0, 0};
    const std::uint32_t blue[8] = {255, 0, 0, 255, 255, 255, 255, 255};
    for (std::int32_t x = 0; x < 8; ++x) {
        source.Set(x, 0, 0, red[x]);
        source.Set(x, 0, 1, green[x]);
        source.Set(x, 0, 2, blue[x]);
    }
    TestImage destination(8, 1, 24);
    ShiftStack shift(0.5, 0.0);
    ASSERT_TRUE(
        RemapImage(source.buffer(), destination.buffer(), shift.stack, ChannelPass::kAll, context)
            .ok());
    EXPECT_EQ(destination.At(1, 0, 0), 128u);  // 0 0 255 255 -> 127.5
    EXPECT_EQ(destination.At(5, 0, 0), 128u);  // 255 255 0 0
    EXPECT_EQ(destination.At(1, 0, 1), 255u);  // 0 255 255 0 -> 302.8
    EXPECT_EQ(destination.At(1, 0, 2), 0u);    // 255 0 0 255 -> -47.8
    EXPECT_EQ(destination.At(0, 0, 0), 0u);    // clamped 0 0 0 255 -> -23.9
}

// x = -0.5 is valid with the block's columns -2..1 clamped to 0, 0, 0, 1;
// x = W - 0.5 is valid and clamped at the right edge; x = W is outside, and
// only the channels of the pass become black there.
TEST(RemapImageTest, BorderPositions) {
    Engine engine;
    EngineContext context = engine.Context();
    for (const std::int32_t bits : {24, 48}) {
        const bool sixteen = bits == 48;
        const TestImage source = PositionImage(5, 3, bits);
        TestImage left(5, 3, bits);
        ShiftStack minusHalf(-0.5, 0.0);
        ASSERT_TRUE(
            RemapImage(source.buffer(), left.buffer(), minusHalf.stack, ChannelPass::kAll, context)
                .ok());
        TestImage right(5, 3, bits);
        ShiftStack plusHalf(0.5, 0.0);
        ASSERT_TRUE(
            RemapImage(source.buffer(), right.buffer(), plusHalf.stack, ChannelPass::kAll, context)
                .ok());
        for (std::int32_t y = 0; y < 3; ++y) {
            for (int c = 0; c < 3; ++c) {
                const double p0 = source.At(0, y, c), p1 = source.At(1, y, c);
                EXPECT_EQ(left.At(0, y, c),
                          ReferenceConvert((1 - kOuterHalf) * p0 + kOuterHalf * p1, sixteen));
                const double a = source.At(3, y, c), b = source.At(4, y, c);
                EXPECT_EQ(right.At(4, y, c),
                          ReferenceConvert(kOuterHalf * a + (1 - kOuterHalf) * b, sixteen));
            }
        }

        TestImage outside(5, 3, bits);
        outside.Fill([](std::int32_t, std::int32_t, int) { return 77u; });
        ShiftStack plusOne(1.0, 0.0);
        ASSERT_TRUE(RemapImage(source.buffer(), outside.buffer(), plusOne.stack,
                               ChannelPass::kRedBlue, context)
                        .ok());
        for (std::int32_t y = 0; y < 3; ++y) {
            EXPECT_EQ(outside.At(4, y, 0), 0u);   // x = W: red zeroed
            EXPECT_EQ(outside.At(4, y, 1), 77u);  // green not in the pass
            EXPECT_EQ(outside.At(4, y, 2), 0u);
            EXPECT_EQ(outside.At(3, y, 0), source.At(4, y, 0));  // x = W - 1
            EXPECT_EQ(outside.At(3, y, 1), 77u);
        }
    }
}

// Each pass must write its channels, exactly as the all-channel pass does, and
// leave the others as the destination held them.
TEST(RemapImageTest, EachPassWritesOnlyItsChannels) {
    Engine engine(3);
    EngineContext context = engine.Context();
    for (const std::int32_t bits : {24, 48}) {
        const TestImage source = NoisyImage(23, 19, bits, 5);
        PassStack barrel;
        BuildDistortionStack(0.02f, -0.05f, 0.01f, 23, 19, barrel);
        TestImage all(23, 19, bits);
        ASSERT_TRUE(
            RemapImage(source.buffer(), all.buffer(), barrel.stack, ChannelPass::kAll, context)
                .ok());
        for (int p = 1; p <= 6; ++p) {
            const auto pass = static_cast<ChannelPass>(p);
            TestImage destination = PositionImage(23, 19, bits);
            const TestImage before = destination;
            ASSERT_TRUE(
                RemapImage(source.buffer(), destination.buffer(), barrel.stack, pass, context)
                    .ok());
            for (std::int32_t y = 0; y < 19; ++y) {
                for (std::int32_t x = 0; x < 23; ++x) {
                    for (int c = 0; c < 3; ++c) {
                        const std::uint32_t expected =
                            PassWritesChannel(pass, c) ? all.At(x, y, c) : before.At(x, y, c);
                        ASSERT_EQ(destination.At(x, y, c), expected)
                            << "pass " << p << " at " << x << "," << y << " channel " << c;
                    }
                }
            }
        }
    }
}

TEST(ChannelPassTest, TermsChannelOfEachPass) {
    const int expected[7] = {0, 0, 1, 2, 0, 0, 1};
    for (int p = 0; p <= 6; ++p) {
        EXPECT_EQ(PassTermsChannel(static_cast<ChannelPass>(p)), expected[p]) << p;
    }
}

// The production path may compute in reduced precision; against the plain
// double-precision rule it must stay within one level everywhere and agree
// exactly on at least 99.9 % of the samples. Several stacks, both depths, a
// size whose rows cross many 40-column blocks and borders.
TEST(RemapImageTest, AgreesWithThePlainRule) {
    Engine engine(2);
    EngineContext context = engine.Context();
    constexpr std::int32_t kW = 257, kH = 131;
    PassStack barrel;
    BuildDistortionStack(0.01f, -0.035f, 0.02f, kW, kH, barrel);
    PassStack pincushion;
    BuildDistortionStack(-0.03f, 0.08f, -0.09f, kW, kH, pincushion);
    ShiftStack shift(0.37, -0.61);
    ScaleXYParams up{0.77, 0.77}, down{1.9, 1.3};
    TransformStack upStack, downStack, nested;
    ASSERT_TRUE(upStack.Add(ScaleXY, &up));
    ASSERT_TRUE(downStack.Add(ScaleXY, &down));
    ASSERT_TRUE(nested.AddStack(shift.stack));
    ASSERT_TRUE(nested.AddStack(barrel.stack));
    const TransformStack* stacks[] = {&barrel.stack, &pincushion.stack, &shift.stack,
                                      &upStack,      &downStack,        &nested};
    for (const bool wide : {true, false}) {
        context.allowWideVectors = wide;
        for (const std::int32_t bits : {24, 48}) {
            std::int64_t samples = 0, different = 0;
            std::uint32_t seed = 1;
            for (const TransformStack* stack : stacks) {
                const TestImage source = NoisyImage(kW, kH, bits, seed++);
                TestImage fast(kW, kH, bits);
                TestImage reference(kW, kH, bits);
                ASSERT_TRUE(
                    RemapImage(source.buffer(), fast.buffer(), *stack, ChannelPass::kAll, context)
                        .ok());
                ReferenceRemap(source, reference, *stack, ChannelPass::kAll);
                for (std::int32_t y = 0; y < kH; ++y) {
                    for (std::int32_t x = 0; x < kW; ++x) {
                        for (int c = 0; c < 3; ++c) {
                            const auto a = static_cast<std::int64_t>(fast.At(x, y, c));
                            const auto b = static_cast<std::int64_t>(reference.At(x, y, c));
                            ASSERT_LE(std::abs(a - b), 1) << x << "," << y << " bits " << bits;
                            different += a != b;
                            ++samples;
                        }
                    }
                }
            }
            EXPECT_LE(different * 1000, samples) << different << " of " << samples << " differ";
            std::printf("%s %d-bit: %lld of %lld samples differ from the plain rule\n",
                        wide ? "wide" : "portable", bits / 3, static_cast<long long>(different),
                        static_cast<long long>(samples));
        }
    }
}

// Single precision has the least to spare on 16-bit samples at the top of
// the range, and the kernel's overshoot at hard edges runs past both ends of
// it: near-white noise and a black and white checkerboard, with every pass
// kind, must still give the rule's samples (the clamps included), within one
// level everywhere and exactly on all but 0.1 %.
TEST(RemapImageTest, SixteenBitExtremesAgreeWithThePlainRule) {
    Engine engine(2);
    EngineContext context = engine.Context();
    constexpr std::int32_t kW = 203, kH = 97;
    PassStack barrel;
    BuildDistortionStack(0.02f, -0.05f, 0.03f, kW, kH, barrel);
    TestImage bright(kW, kH, 48);
    std::uint32_t state = 7;
    bright.Fill([&](std::int32_t, std::int32_t, int) {
        state = state * 1664525u + 1013904223u;
        return 65535u - (state >> 22);
    });
    TestImage checkers(kW, kH, 48);
    checkers.Fill([](std::int32_t x, std::int32_t y, int c) {
        return ((x / 3 + y / 2 + c) % 2) != 0 ? 65535u : 0u;
    });
    std::int64_t samples = 0, different = 0;
    for (const bool wide : {true, false}) {
        context.allowWideVectors = wide;
        for (const TestImage* source : {&bright, &checkers}) {
            for (const ChannelPass pass :
                 {ChannelPass::kAll, ChannelPass::kGreen, ChannelPass::kRedBlue}) {
                TestImage fast(kW, kH, 48);
                TestImage reference(kW, kH, 48);
                ASSERT_TRUE(
                    RemapImage(source->buffer(), fast.buffer(), barrel.stack, pass, context).ok());
                ReferenceRemap(*source, reference, barrel.stack, pass);
                for (std::int32_t y = 0; y < kH; ++y) {
                    for (std::int32_t x = 0; x < kW; ++x) {
                        for (int c = 0; c < 3; ++c) {
                            const auto a = static_cast<std::int64_t>(fast.At(x, y, c));
                            const auto b = static_cast<std::int64_t>(reference.At(x, y, c));
                            ASSERT_LE(std::abs(a - b), 1) << x << "," << y << "," << c;
                            different += a != b;
                            ++samples;
                        }
                    }
                }
            }
        }
    }
    EXPECT_LE(different * 1000, samples) << different << " of " << samples << " differ";
}

// A row reads the rows of its 4 x 4 blocks: down to two below the floored
// position, clamped to the source; a row that reads nothing says so. The
// rows it resamples are those RemapImage writes.
TEST(RowRemapTest, LastSourceRowIsTheLowestRowTheBlocksRead) {
    Engine engine(1);
    EngineContext context = engine.Context();
    constexpr std::int32_t kW = 23, kH = 17;  // odd: vector steps and a tail
    const TestImage source = NoisyImage(kW, kH, 24, 3);
    SampleTables tables;
    ASSERT_TRUE(BuildSampleTables(24, tables, context).ok());
    const RemapGeometry geometry{kW, kH, kW, kH};
    ShiftStack down(0.3, 3.5);
    TestImage whole(kW, kH, 24);
    ASSERT_TRUE(
        RemapImage(source.buffer(), whole.buffer(), down.stack, ChannelPass::kAll, context).ok());
    RowRemap rows;
    ASSERT_TRUE(rows.Ready(kW, context).ok());
    for (std::int32_t row = 0; row < kH; ++row) {
        rows.Map(down.stack, geometry, row);
        // Rows beyond the source's last one are invalid; up to there the
        // position is row + 3.5.
        const std::int32_t expected = row + 3 < kH ? std::min(row + 5, kH - 1) : -1;
        EXPECT_EQ(rows.LastSourceRow(0, kW), expected) << row;
        EXPECT_EQ(rows.LastSourceRow(5, 6), expected) << row;
        std::vector<std::uint8_t> out(static_cast<std::size_t>(whole.buffer().rowBytes));
        rows.Resample(source.buffer(), ChannelPass::kAll, tables, 0, kW, out.data());
        EXPECT_EQ(0, std::memcmp(out.data(), whole.buffer().Row(row), out.size())) << row;
    }
    ShiftStack away(0.0, -1000.0);
    rows.Map(away.stack, geometry, 4);
    EXPECT_EQ(rows.LastSourceRow(0, kW), -1);
}

// Counts its calls; the count is mutable so the stage can stay read-only to
// the stack.
struct CountingParams {
    mutable std::atomic<int> calls{0};
};
Point CountingStage(Point p, const void* params) {
    static_cast<const CountingParams*>(params)->calls++;
    return p;
}

// A destination narrower than 41 pixels has exact points at 0 and W only. For
// a straight mapping whose end point (one past the row) is still inside, the
// midpoint and the midpoints of the two halves are all it takes; when the end
// point falls outside, the half next to it is evaluated column by column.
TEST(ComputeSourceRowTest, NarrowRowsEvaluateOnlyTheEndsAndAMidpoint) {
    for (const std::int32_t width : {1, 2, 17, 40}) {
        for (const std::int32_t margin : {0, 2}) {
            CountingParams counter;
            TransformStack stack;
            ASSERT_TRUE(stack.Add(CountingStage, &counter));
            const RemapGeometry g{width + margin, 5, width, 5};
            std::vector<double> xs(static_cast<std::size_t>(SourceRowCapacity(width)));
            std::vector<double> ys(xs.size());
            std::vector<std::uint8_t> valid(xs.size());
            ComputeSourceRow(stack, g, 2, xs.data(), ys.data(), valid.data());
            const int quarters = width >= 4 ? 1 : 0;
            const int expected = width < 2    ? 2
                                 : margin > 0 ? 3 + 2 * quarters
                                              : 3 + quarters + (width - width / 2 - 1);
            EXPECT_EQ(counter.calls.load(), expected) << width << " margin " << margin;
            for (std::int32_t j = 0; j < width; ++j) {
                EXPECT_DOUBLE_EQ(xs[static_cast<std::size_t>(j)], j + margin / 2);
                EXPECT_DOUBLE_EQ(ys[static_cast<std::size_t>(j)], 2.0);
                EXPECT_EQ(valid[static_cast<std::size_t>(j)], 1);
            }
        }
    }
}

// A row that lies wholly outside the source costs its exact points and one
// midpoint per gap, not a pass over every column.
TEST(ComputeSourceRowTest, InvalidGapsAreNotEvaluated) {
    CountingParams counter;
    ShiftParams away{1e6};
    TransformStack stack;
    ASSERT_TRUE(stack.Add(CountingStage, &counter));
    ASSERT_TRUE(stack.Add(ShiftY, &away));
    const RemapGeometry g{333, 7, 333, 7};
    std::vector<double> xs(static_cast<std::size_t>(SourceRowCapacity(333)));
    std::vector<double> ys(xs.size());
    std::vector<std::uint8_t> valid(xs.size(), 1);
    ComputeSourceRow(stack, g, 3, xs.data(), ys.data(), valid.data());
    EXPECT_EQ(counter.calls.load(), 10 + 9);  // 0, 40, ..., 320, 333 and the midpoints
    for (std::int32_t j = 0; j < 333; ++j) EXPECT_EQ(valid[static_cast<std::size_t>(j)], 0);
}

// Filling by additions must stay within one pixel of evaluating every column,
// on mappings that bend hard, at widths around the 40-column step, and on
// images large enough to fill whole gaps at once (one with an odd last gap).
TEST(ComputeSourceRowTest, SparseEvaluationStaysWithinOnePixel) {
    struct Case {
        float a, b, c;
    };
    const Case cases[] = {{0.05f, -0.15f, 0.1f},   // strong barrel
                          {-0.08f, 0.2f, -0.25f},  // strong pincushion
                          {0.0f, 0.0f, -0.3f}};
    const std::pair<int, int> sizes[] = {{1, 1},       {2, 3},      {17, 15},   {40, 9},
                                         {41, 13},     {81, 40},    {600, 400}, {401, 599},
                                         {1400, 1300}, {1313, 1290}};
    for (const Case& k : cases) {
        for (const auto& [w, h] : sizes) {
            PassStack stack;
            BuildDistortionStack(k.a, k.b, k.c, w, h, stack);
            const RemapGeometry g{w, h, w, h};
            std::vector<double> xs(static_cast<std::size_t>(SourceRowCapacity(w)));
            std::vector<double> ys(xs.size());
            std::vector<std::uint8_t> valid(xs.size());
            for (std::int32_t row = 0; row < h; ++row) {
                std::fill(xs.begin(), xs.end(), std::numeric_limits<double>::quiet_NaN());
                ComputeSourceRow(stack.stack, g, row, xs.data(), ys.data(), valid.data());
                for (std::int32_t j = 0; j < w; ++j) {
                    const auto u = static_cast<std::size_t>(j);
                    const Point exact = ExactSourcePosition(stack.stack, g, j, row);
                    const bool exactValid =
                        exact.x >= -1 && exact.x < w && exact.y >= -1 && exact.y < h;
                    if (std::isnan(xs[u])) {
                        // Marked invalid without evaluation: so must the mapping be.
                        ASSERT_EQ(valid[u], 0);
                        ASSERT_FALSE(exactValid) << w << "x" << h << " at " << j << "," << row;
                        continue;
                    }
                    // Validity is that of the position the row holds, however it
                    // was filled.
                    const bool inside = xs[u] >= -1 && xs[u] < w && ys[u] >= -1 && ys[u] < h;
                    ASSERT_EQ(valid[u] != 0, inside) << w << "x" << h << " at " << j << "," << row;
                    if (!valid[u] && !exactValid) continue;
                    ASSERT_LE(std::fabs(xs[u] - exact.x), 1.0)
                        << w << "x" << h << " at " << j << "," << row;
                    ASSERT_LE(std::fabs(ys[u] - exact.y), 1.0)
                        << w << "x" << h << " at " << j << "," << row;
                }
            }
        }
    }
}

TEST(RemapImageTest, RefusesSidesAboveTheLimitWithAMessage) {
    Engine engine;
    EngineContext context = engine.Context();
    std::uint8_t dummy[6] = {};
    ImageBuffer wide = DescribeImage(kMaxImageSide + 1, 1, 24, dummy);
    ImageBuffer small = DescribeImage(2, 1, 24, dummy + 6);
    const TransformStack identity;
    EXPECT_FALSE(RemapImage(wide, small, identity, ChannelPass::kAll, context).ok());
    ASSERT_EQ(engine.sink.Count(), 1u);
    EXPECT_NE(engine.sink.Last().find("32767"), std::string::npos);
    ImageBuffer tall = DescribeImage(1, kMaxImageSide + 1, 48, dummy);
    EXPECT_FALSE(RemapImage(small, tall, identity, ChannelPass::kAll, context).ok());
    EXPECT_EQ(engine.sink.Count(), 2u);
}

TEST(RemapImageTest, RefusesMismatchedOrOverlappingImagesSilently) {
    Engine engine;
    EngineContext context = engine.Context();
    TestImage a(4, 4, 24), b(4, 4, 48);
    const TransformStack identity;
    EXPECT_FALSE(RemapImage(a.buffer(), b.buffer(), identity, ChannelPass::kAll, context).ok());
    EXPECT_FALSE(RemapImage(a.buffer(), a.buffer(), identity, ChannelPass::kAll, context).ok());
    ImageBuffer odd = a.buffer();
    odd.bitsPerPixel = 32;
    EXPECT_FALSE(RemapImage(odd, odd, identity, ChannelPass::kAll, context).ok());
    EXPECT_EQ(engine.sink.Count(), 0u);
}

// Refuses allocations of exactly `bytes` bytes (0: of at least `minimum`).
class RefusingGate final : public WorkMemoryGate {
  public:
    RefusingGate(std::size_t bytes, std::size_t minimum) : bytes_(bytes), minimum_(minimum) {}
    bool MayAllocate(std::size_t bytes) noexcept override {
        if (bytes_ != 0 ? bytes != bytes_ : bytes < minimum_) return true;
        ++refused;
        return false;
    }
    std::atomic<int> refused{0};

  private:
    std::size_t bytes_;
    std::size_t minimum_;
};

// Every band fails for want of memory: the remap fails and says so once, not
// once per band. Then the tables fail: no band runs at all.
TEST(RemapImageTest, FailingBandsFailTheRemapWithOneMessage) {
    Engine engine(4);
    EngineContext context = engine.Context();
    const TestImage source = PositionImage(100, 40, 24);
    TestImage destination(100, 40, 24);
    const TransformStack identity;

    // A band's work memory: (100 + 20) entries of two doubles and a byte.
    RefusingGate bands(120 * 17, 0);
    context.memoryGate = &bands;
    EXPECT_FALSE(
        RemapImage(source.buffer(), destination.buffer(), identity, ChannelPass::kAll, context)
            .ok());
    EXPECT_EQ(bands.refused.load(), 4);
    ASSERT_EQ(engine.sink.Count(), 1u);
    EXPECT_EQ(engine.sink.Last(), "Insufficient memory");

    // The 8-bit output table holds 4096 entries of two bytes.
    RefusingGate tables(0, 4096);
    context.memoryGate = &tables;
    engine.sink.Clear();
    EXPECT_FALSE(
        RemapImage(source.buffer(), destination.buffer(), identity, ChannelPass::kAll, context)
            .ok());
    EXPECT_EQ(tables.refused.load(), 1);
    ASSERT_EQ(engine.sink.Count(), 1u);
    EXPECT_EQ(engine.sink.Last(), "Insufficient memory");
}

}  // namespace
}  // namespace quillon::engine
