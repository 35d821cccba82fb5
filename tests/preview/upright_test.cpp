// Turning photos upright: which source pixel lands where, for both depths.

#include "preview/upright.h"

#include <cstdint>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "imageio/image_file.h"

namespace quillon::preview {
namespace {

// A 5 x 3 image whose every sample encodes its pixel's position, so a pixel
// taken from the wrong place cannot go unnoticed.
constexpr std::int32_t kWidth = 5;
constexpr std::int32_t kHeight = 3;

std::uint32_t Code(std::int32_t x, std::int32_t y, int channel) {
    return static_cast<std::uint32_t>(100 * y + 10 * x + channel);
}

CurrentImage MakeImage(std::int32_t bitsPerPixel) {
    CurrentImage image;
    image.input = DescribeImage(kWidth, kHeight, bitsPerPixel, nullptr);
    const std::optional<ByteCount> bytes = ImageByteCount(image.input);
    EXPECT_TRUE(image.blocks.source.Allocate(bytes) && image.blocks.work.Allocate(bytes));
    image.input.pixels = image.blocks.source.data();
    image.output = image.input;
    image.output.pixels = image.blocks.work.data();
    for (std::int32_t y = 0; y < kHeight; ++y) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                if (bitsPerPixel == 24) {
                    image.input.Row(y)[3 * x + c] = static_cast<std::uint8_t>(Code(x, y, c));
                } else {
                    auto* row = reinterpret_cast<std::uint16_t*>(image.input.Row(y));
                    row[3 * x + c] = static_cast<std::uint16_t>(Code(x, y, c) * 100);
                }
            }
        }
    }
    return image;
}

std::uint32_t SampleAt(const ImageBuffer& image, std::int32_t x, std::int32_t y, int c) {
    if (image.bitsPerPixel == 24) return image.Row(y)[3 * x + c];
    return reinterpret_cast<const std::uint16_t*>(image.Row(y))[3 * x + c] / 100u;
}

struct TurnCase {
    int orientation;
    std::int32_t bitsPerPixel;
};

class TurnImageTest : public ::testing::TestWithParam<TurnCase> {};

TEST_P(TurnImageTest, EveryPixelLandsWhereTheTurnPutsIt) {
    const auto [orientation, bits] = GetParam();
    CurrentImage image = MakeImage(bits);
    ASSERT_TRUE(TurnImage(image, orientation));

    const bool quarter = orientation != kTurn180;
    const ImageBuffer& turned = image.input;
    EXPECT_EQ(turned.width, quarter ? kHeight : kWidth);
    EXPECT_EQ(turned.height, quarter ? kWidth : kHeight);
    EXPECT_EQ(turned.rowBytes, std::int64_t{turned.width} * (bits / 8));
    // The output the correction writes into follows the new geometry, in a
    // block of its own.
    EXPECT_EQ(image.output.width, turned.width);
    EXPECT_EQ(image.output.rowBytes, turned.rowBytes);
    EXPECT_NE(image.output.pixels, turned.pixels);
    EXPECT_EQ(turned.pixels, image.blocks.source.data());

    for (std::int32_t y = 0; y < kHeight; ++y) {
        for (std::int32_t x = 0; x < kWidth; ++x) {
            // Column H-1-y, row x for a clockwise turn; column y, row W-1-x
            // counter-clockwise; W-1-x, H-1-y for half a turn.
            std::int32_t tx = kWidth - 1 - x;
            std::int32_t ty = kHeight - 1 - y;
            if (orientation == kTurnClockwise) {
                tx = kHeight - 1 - y;
                ty = x;
            } else if (orientation == kTurnCounterClockwise) {
                tx = y;
                ty = kWidth - 1 - x;
            }
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(SampleAt(turned, tx, ty, c), Code(x, y, c))
                    << "source " << x << "," << y << " channel " << c;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothDepths, TurnImageTest,
                         ::testing::Values(TurnCase{6, 24}, TurnCase{8, 24}, TurnCase{3, 24},
                                           TurnCase{6, 48}, TurnCase{8, 48}, TurnCase{3, 48}));

TEST(TurnImageTest, MirroredAndUnknownValuesLeaveThePixelsAlone) {
    for (const int orientation : {0, 1, 2, 4, 5, 7, 9, 100}) {
        CurrentImage image = MakeImage(24);
        EXPECT_FALSE(TurnImage(image, orientation));
        EXPECT_EQ(image.input.width, kWidth);
        EXPECT_EQ(SampleAt(image.input, 1, 2, 0), Code(1, 2, 0));
    }
}

TEST(TurnImageTest, AnImageOutsideItsBlocksIsTurnedInPlace) {
    // The plug-in's image lives in memory of its own, without a work block.
    CurrentImage image = MakeImage(24);
    std::vector<std::uint8_t> own(image.blocks.source.data(),
                                  image.blocks.source.data() + image.input.dataSize);
    image.input.pixels = own.data();
    image.output = {};
    ASSERT_TRUE(TurnImage(image, kTurnClockwise));
    EXPECT_EQ(image.input.pixels, own.data());
    EXPECT_EQ(image.input.width, kHeight);
    EXPECT_EQ(SampleAt(image.input, kHeight - 1, 0, 1), Code(0, 0, 1));
}

}  // namespace
}  // namespace quillon::preview
