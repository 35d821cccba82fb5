#include "engine/vignetting.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "engine/cpu_features.h"
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

constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMinInt = std::numeric_limits<std::int32_t>::min();

// The rule itself, in long double from the settings, not from the rounded
// double constants.
long double ReferenceGain(std::int32_t w, std::int32_t h, int amount, int midpoint,
                          long double distance) {
    const long double radius =
        0.5L * std::sqrt(static_cast<long double>(w) * w + static_cast<long double>(h) * h);
    const long double a = 0.0075L * amount;
    const long double k = 1.0L + 0.07L * midpoint;
    const long double divisor =
        std::tanh((radius - distance) / radius * k) * (a / std::tanh(k)) + (1.0L - a);
    return 1.0L / divisor;
}

bool HaveWideVectors() {
#if defined(QUILLON_HAVE_AVX2_PATH)
    return HaveAvx2();
#else
    return false;
#endif
}

// Over the whole half diagonal the gain stays within a few ulps of the rule:
// an own tanh that is off in one range of arguments shows up here long before
// it changes a level.
TEST(VignettingGainTest, FollowsTheLongDoubleRuleToAFewUlps) {
    for (const auto& [amount, midpoint] :
         {std::pair{100, 50}, std::pair{60, 0}, std::pair{-100, 100}, std::pair{1, 100},
          std::pair{-35, 12}, std::pair{80, 71}}) {
        SCOPED_TRACE(::testing::Message() << amount << ", " << midpoint);
        const VignettingConstants k = MakeVignettingConstants(6000, 4000, amount, midpoint);
        long double worst = 0.0L;
        for (int step = 0; step <= 20000; ++step) {
            const double r = k.radius * step / 20000.0;
            const long double reference = ReferenceGain(6000, 4000, amount, midpoint, r);
            worst = std::max(worst, std::fabs(VignettingGain(k, r) - reference) / reference);
        }
        EXPECT_LT(worst, 1e-15L);
    }
}

// Brightening, every pixel beside the centre has a gain above 1 in exact
// arithmetic; one a hair below 1 would take every sample there a level
// down. Darkening, the other way round. The nearest pixels of the quadrant and
// of the centre lines, for every amount and midpoint of the window's ranges.
TEST(VignettingGainTest, BesideTheCentreTheGainStaysOnItsSideOfOne) {
    for (const auto& [w, h] :
         {std::pair{6000, 4000}, std::pair{601, 401}, std::pair{40000, 30000}, std::pair{7, 5}}) {
        for (int amount = -100; amount <= 100; ++amount) {
            if (amount == 0) continue;
            for (int midpoint = 0; midpoint <= 100; ++midpoint) {
                const VignettingConstants k = MakeVignettingConstants(w, h, amount, midpoint);
                double nearest[2];
                QuadrantRowGains(k, k.halfHeight - 1, k.halfWidth - 2, k.halfWidth, nearest);
                for (const double gain : {nearest[0], nearest[1], VignettingGain(k, 1.0)}) {
                    ASSERT_TRUE(amount > 0 ? gain >= 1.0 : gain <= 1.0)
                        << w << " x " << h << ", " << amount << ", " << midpoint;
                }
            }
        }
    }
}

// The 256-bit kernel must give every gain bit for bit as the portable code
// does (a fused multiply-add or another tanh in one of them would not), from
// any first column, for the settings of the window and for those only the
// plug-in's recorded parameters can bring.
TEST(VignettingGainTest, WideVectorsGiveTheSameBits) {
    if (!HaveWideVectors()) GTEST_SKIP() << "no AVX2 and FMA on this processor";
    for (const auto& [amount, midpoint] :
         {std::pair{100, 50}, std::pair{-100, 0}, std::pair{37, 100}, std::pair{1000, 50},
          std::pair{200, -30}, std::pair{-1000000, 400}, std::pair{kMaxInt, kMinInt},
          std::pair{kMinInt, kMaxInt}}) {
        for (const auto& [w, h] : {std::pair{6000, 4000}, std::pair{97, 61}}) {
            SCOPED_TRACE(::testing::Message() << amount << ", " << midpoint << ", " << w);
            VignettingConstants wide = MakeVignettingConstants(w, h, amount, midpoint);
            ASSERT_TRUE(wide.wideVectors);
            VignettingConstants portable = wide;
            portable.wideVectors = false;
            std::vector<double> a(static_cast<std::size_t>(wide.halfWidth));
            std::vector<double> b(a.size());
            for (std::int32_t row = 0; row < wide.halfHeight; row += 1 + wide.halfHeight / 16) {
                for (const std::int32_t first : {0, 3}) {
                    QuadrantRowGains(wide, row, first, wide.halfWidth, a.data());
                    QuadrantRowGains(portable, row, first, wide.halfWidth, b.data());
                    for (std::int32_t j = first; j < wide.halfWidth; ++j) {
                        const auto u = static_cast<std::size_t>(j - first);
                        const double dx = wide.halfWidth - j;
                        const double dy = wide.halfHeight - row;
                        const double one = VignettingGain(wide, std::sqrt(dx * dx + dy * dy));
                        ASSERT_EQ(std::bit_cast<std::uint64_t>(a[u]),
                                  std::bit_cast<std::uint64_t>(b[u]))
                            << "row " << row << ", column " << j;
                        ASSERT_EQ(std::bit_cast<std::uint64_t>(b[u]),
                                  std::bit_cast<std::uint64_t>(one))
                            << "row " << row << ", column " << j;
                    }
                }
            }
        }
    }
}

// The portable gains, as bits, pinned: the 32-bit and the 64-bit builds (and
// every compiler setting) must give these, so the preview, the written photo
// and both plug-ins agree to the byte.
TEST(VignettingGainTest, PortableGainsAreTheSameBitsInEveryBuild) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const auto& [amount, midpoint] :
         {std::pair{100, 50}, std::pair{-70, 0}, std::pair{25, 100}, std::pair{1000, -30}}) {
        VignettingConstants k = MakeVignettingConstants(6001, 3999, amount, midpoint);
        k.wideVectors = false;
        std::vector<double> gains(static_cast<std::size_t>(k.halfWidth));
        for (std::int32_t row = 0; row < k.halfHeight; row += 37) {
            QuadrantRowGains(k, row, 0, k.halfWidth, gains.data());
            for (const double gain : gains) {
                hash ^= std::bit_cast<std::uint64_t>(gain);
                hash *= 1099511628211ull;
            }
        }
    }
    EXPECT_EQ(hash, 0xe4d7902718651a63ull);
}

void VignetteAll(const ImageBuffer& source, const ImageBuffer& destination,
                 const VignettingConstants& k) {
    VignetteQuadrantRows(source, destination, k, 0, k.halfHeight);
    VignetteCentreLines(source, destination, k);
}

// The same bytes from both kernels, in place and into another image, 8 and 16
// bits, with widths that leave columns to the portable loop, and gains that
// clamp, turn negative or divide by nearly nothing.
TEST(VignettingTest, WideAndPortableKernelsWriteTheSameBytes) {
    if (!HaveWideVectors()) GTEST_SKIP() << "no AVX2 and FMA on this processor";
    for (const auto& [amount, midpoint] :
         {std::pair{100, 50}, std::pair{-60, 20}, std::pair{300, 50}, std::pair{kMaxInt, 3}}) {
        for (const auto& [w, h, bits] : {std::tuple{37, 9, 24}, std::tuple{1030, 21, 48},
                                         std::tuple{6, 4, 24}, std::tuple{64, 17, 24}}) {
            SCOPED_TRACE(::testing::Message()
                         << amount << ", " << midpoint << ", " << w << " x " << h << " x " << bits);
            VignettingConstants wide = MakeVignettingConstants(w, h, amount, midpoint);
            VignettingConstants portable = wide;
            portable.wideVectors = false;
            TestImage source(w, h, bits);
            testing::FillPattern(source.buffer(), 5);
            TestImage inPlace = source;
            TestImage byWide(w, h, bits);
            TestImage byPortable(w, h, bits);
            VignetteAll(inPlace.buffer(), inPlace.buffer(), wide);
            VignetteAll(source.buffer(), byWide.buffer(), wide);
            VignetteAll(source.buffer(), byPortable.buffer(), portable);
            EXPECT_EQ(byWide.bytes(), byPortable.bytes());
            EXPECT_EQ(inPlace.bytes(), byPortable.bytes());
        }
    }
}

// Full-range samples against the rule in long double: the evaluation may move
// a sample only where its truncation lies within rounding error of a whole
// level, so by one level and rarely. Gains past the clamps and below zero
// (values only the plug-in can bring) must clamp as the reference does.
TEST(VignettingTest, WithinOneLevelOfTheLongDoubleRuleAndRarelyOff) {
    for (const std::int32_t bits : {24, 48}) {
        const std::int32_t w = bits == 24 ? 601 : 600;
        const std::int32_t h = bits == 24 ? 401 : 400;
        const int limit = bits == 24 ? 255 : 65535;
        TestImage source(w, h, bits);
        testing::FillPattern(source.buffer(), 7);
        for (const auto& [amount, midpoint] :
             {std::pair{100, 50}, std::pair{60, 0}, std::pair{1, 100}, std::pair{-100, 50},
              std::pair{-45, 85}, std::pair{25, 30}, std::pair{300, 50}, std::pair{-1000, 20},
              std::pair{70, -40}, std::pair{50, 400}}) {
            SCOPED_TRACE(::testing::Message() << bits << " bits, " << amount << ", " << midpoint);
            TestImage image = source;
            VignetteAll(image.buffer(), amount, midpoint);
            const std::int32_t w2 = w / 2;
            const std::int32_t h2 = h / 2;
            std::int64_t off = 0;
            for (std::int32_t y = 0; y < h; ++y) {
                for (std::int32_t x = 0; x < w; ++x) {
                    const long double dx = std::abs(x - w2) + (x >= w2 && w % 2 == 0 ? 1 : 0);
                    const long double dy = std::abs(y - h2) + (y >= h2 && h % 2 == 0 ? 1 : 0);
                    const bool centre = (w % 2 == 1 && x == w2) && (h % 2 == 1 && y == h2);
                    const long double r = (w % 2 == 1 && x == w2)   ? dy
                                          : (h % 2 == 1 && y == h2) ? dx
                                                                    : std::sqrt(dx * dx + dy * dy);
                    const long double gain =
                        centre ? 1.0L : ReferenceGain(w, h, amount, midpoint, r);
                    for (int c = 0; c < 3; ++c) {
                        const long double v = source.Get(x, y, c) * gain;
                        const int expected = v >= limit ? limit : v > 0 ? static_cast<int>(v) : 0;
                        const int got = image.Get(x, y, c);
                        ASSERT_LE(std::abs(got - expected), 1) << "at " << x << ", " << y;
                        off += got != expected;
                    }
                }
            }
            EXPECT_LT(off * 1000, static_cast<std::int64_t>(w) * h * 3) << off << " off";
        }
    }
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

// Rows done one by one as they arrive, in a few bands and in any order, give
// what the quadrant bands and the centre lines give: in place and out of
// place (where the untouched centre pixel must be carried), odd and even
// sides, both kernels.
TEST(ApplyVignettingTest, RowByRowEqualsTheQuadrants) {
    TestEngine engine(2);
    ASSERT_TRUE(engine.started);
    for (const auto& [w, h, bits] :
         {std::tuple{301, 203, 24}, std::tuple{1030, 40, 48}, std::tuple{5, 3, 24},
          std::tuple{1, 1, 48}, std::tuple{2, 7, 24}}) {
        for (const bool wide : {true, false}) {
            SCOPED_TRACE(::testing::Message() << w << " x " << h << " x " << bits << ", "
                                              << (wide ? "wide" : "portable"));
            CorrectionSettings settings;
            settings.VigAmount = 65;
            settings.VigMidpoint = 35;
            TestImage expected(w, h, bits);
            testing::FillPattern(expected.buffer(), 7);
            const TestImage source = expected;
            ApplyVignetting(expected.buffer(), settings, engine.pool);

            VignettingConstants k = MakeVignettingConstants(w, h, 65, 35);
            k.wideVectors = k.wideVectors && wide;
            TestImage inPlace = source;
            TestImage apart(w, h, bits);
            apart.Fill(201);
            // The lower half first, then the rest in bands of five.
            VignetteImageRows(inPlace.buffer(), inPlace.buffer(), k, h / 2, h);
            VignetteImageRows(source.buffer(), apart.buffer(), k, h / 2, h);
            for (std::int32_t first = 0; first < h / 2; first += 5) {
                const std::int32_t end = std::min(first + 5, h / 2);
                VignetteImageRows(inPlace.buffer(), inPlace.buffer(), k, first, end);
                VignetteImageRows(source.buffer(), apart.buffer(), k, first, end);
            }
            EXPECT_EQ(inPlace.bytes(), expected.bytes());
            EXPECT_EQ(apart.Pixels(), expected.Pixels());
        }
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
