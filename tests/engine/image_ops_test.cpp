#include "engine/image_ops.h"

#include <gtest/gtest.h>

#include "tests/engine/engine_test_support.h"

namespace quillon::engine {
namespace {

using testing::Engine;
using testing::PositionImage;
using testing::TestImage;

TEST(CopyCentredTest, LargerSourceGivesItsCentre) {
    for (const std::int32_t bits : {24, 48}) {
        const TestImage source = PositionImage(17, 16, bits);
        TestImage destination(15, 13, bits);
        CopyCentred(source.buffer(), destination.buffer());
        for (std::int32_t y = 0; y < 13; ++y) {
            for (std::int32_t x = 0; x < 15; ++x) {
                for (int c = 0; c < 3; ++c) {
                    ASSERT_EQ(destination.At(x, y, c), source.At(x + 1, y + 1, c));
                }
            }
        }
    }
}

// A smaller source sits in the middle (offsets are integer halves of the
// size differences, truncated toward zero) and the rest becomes black.
TEST(CopyCentredTest, SmallerSourceIsFramedInBlack) {
    for (const std::int32_t bits : {24, 48}) {
        const TestImage source = PositionImage(2, 3, bits);
        TestImage destination = PositionImage(5, 6, bits);
        CopyCentred(source.buffer(), destination.buffer());
        for (std::int32_t y = 0; y < 6; ++y) {
            for (std::int32_t x = 0; x < 5; ++x) {
                const std::int32_t sx = x - 1, sy = y - 1;  // (2 - 5) / 2 = (3 - 6) / 2 = -1
                const bool inside = sx >= 0 && sx < 2 && sy >= 0 && sy < 3;
                for (int c = 0; c < 3; ++c) {
                    ASSERT_EQ(destination.At(x, y, c), inside ? source.At(sx, sy, c) : 0u)
                        << x << "," << y;
                }
            }
        }
    }
}

TEST(CopyCentredTest, OneByOne) {
    const TestImage source = PositionImage(1, 1, 24);
    TestImage destination(1, 1, 24);
    CopyCentred(source.buffer(), destination.buffer());
    EXPECT_EQ(destination.bytes(), source.bytes());
}

TEST(ReducePreviewTest, FactorChoice) {
    EXPECT_EQ(PreviewReductionFactor(4000, 3000, 800, 600), 4);
    EXPECT_EQ(PreviewReductionFactor(3000, 3000, 1000, 1000), 3);  // /4 would be too small
    EXPECT_EQ(PreviewReductionFactor(10, 6, 5, 3), 2);
    EXPECT_EQ(PreviewReductionFactor(10, 6, 6, 3), 1);
    EXPECT_EQ(PreviewReductionFactor(4002, 3000, 800, 600), 3);  // 4002 = 3 x 1334
    EXPECT_EQ(PreviewReductionFactor(4001, 3000, 800, 600), 1);
}

// When the reduced image already has the preview's size the final resample is
// an identity, so the preview shows the truncated block means themselves.
TEST(ReducePreviewTest, BlockMeansAreTruncated) {
    Engine engine;
    EngineContext context = engine.Context();
    struct Case {
        std::int32_t f, w, h;
    };
    for (const Case k : {Case{4, 2, 2}, Case{3, 2, 1}, Case{2, 3, 2}}) {
        TestImage source(k.w * k.f, k.h * k.f, 24);
        source.Fill([](std::int32_t x, std::int32_t y, int c) {
            return static_cast<std::uint32_t>((x * 37 + y * 11 + c * 50) % 256);
        });
        TestImage preview(k.w, k.h, 24);
        ASSERT_TRUE(ReducePreview(source.buffer(), preview.buffer(), context).ok());
        for (std::int32_t y = 0; y < k.h; ++y) {
            for (std::int32_t x = 0; x < k.w; ++x) {
                for (int c = 0; c < 3; ++c) {
                    std::uint32_t sum = 0;
                    for (std::int32_t dy = 0; dy < k.f; ++dy) {
                        for (std::int32_t dx = 0; dx < k.f; ++dx) {
                            sum += source.At(x * k.f + dx, y * k.f + dy, c);
                        }
                    }
                    ASSERT_EQ(preview.At(x, y, c), sum / static_cast<std::uint32_t>(k.f * k.f))
                        << "f " << k.f << " at " << x << "," << y;
                }
            }
        }
    }
}

// 400 x 300 to 80 x 60: reduced by 4 to 100 x 75, then resampled by 1.25. A
// flat image stays flat and an image that is a left-right mirror stays one.
TEST(ReducePreviewTest, ReducesThenResamples) {
    Engine engine;
    EngineContext context = engine.Context();
    TestImage flat(400, 300, 24);
    flat.Fill([](std::int32_t, std::int32_t, int c) {
        return 40u + 60u * static_cast<std::uint32_t>(c);
    });
    TestImage preview(80, 60, 24);
    ASSERT_TRUE(ReducePreview(flat.buffer(), preview.buffer(), context).ok());
    for (std::int32_t y = 0; y < 60; ++y) {
        for (std::int32_t x = 0; x < 80; ++x) {
            ASSERT_EQ(preview.At(x, y, 0), 40u);
            ASSERT_EQ(preview.At(x, y, 2), 160u);
        }
    }
    TestImage mirrored(400, 300, 24);
    mirrored.Fill([](std::int32_t x, std::int32_t y, int) {
        return static_cast<std::uint32_t>(std::abs(2 * x - 399) / 4 + y / 3);
    });
    ASSERT_TRUE(ReducePreview(mirrored.buffer(), preview.buffer(), context).ok());
    for (std::int32_t y = 0; y < 60; ++y) {
        for (std::int32_t x = 0; x < 40; ++x)
            ASSERT_EQ(preview.At(x, y, 1), preview.At(79 - x, y, 1));
    }
}

TEST(ReducePreviewTest, RefusesSixteenBitSources) {
    Engine engine;
    EngineContext context = engine.Context();
    const TestImage source(8, 8, 48);
    TestImage preview(2, 2, 24);
    EXPECT_FALSE(ReducePreview(source.buffer(), preview.buffer(), context).ok());
}

TEST(CheckImageTest, RefusesWhatTheEngineCannotHandle) {
    platform::CapturingSink sink;
    std::uint8_t pixel[6] = {};
    EXPECT_TRUE(CheckImage(DescribeImage(1, 1, 24, pixel), sink).ok());
    EXPECT_TRUE(CheckImage(DescribeImage(1, 1, 48, pixel), sink).ok());
    EXPECT_FALSE(CheckImage(DescribeImage(1, 1, 32, pixel), sink).ok());
    EXPECT_FALSE(CheckImage(DescribeImage(0, 1, 24, pixel), sink).ok());
    EXPECT_FALSE(CheckImage(DescribeImage(1, 1, 24, nullptr), sink).ok());
    ImageBuffer padded = DescribeImage(2, 1, 24, pixel);
    padded.rowBytes = 8;  // rows without padding only
    EXPECT_FALSE(CheckImage(padded, sink).ok());
    ImageBuffer short_ = DescribeImage(2, 1, 24, pixel);
    short_.dataSize = 5;
    EXPECT_FALSE(CheckImage(short_, sink).ok());
    EXPECT_EQ(sink.Count(), 0u);
    EXPECT_TRUE(CheckImage(DescribeImage(kMaxImageSide, 1, 24, pixel), sink).ok());
    EXPECT_FALSE(CheckImage(DescribeImage(kMaxImageSide + 1, 1, 24, pixel), sink).ok());
    EXPECT_EQ(sink.Count(), 1u);
}

}  // namespace
}  // namespace quillon::engine
