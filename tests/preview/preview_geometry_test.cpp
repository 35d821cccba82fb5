// The geometry of the fitted preview and of the grid drawn over it.

#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "preview/display_image.h"
#include "preview/fitted_size.h"
#include "preview/grid.h"

namespace quillon::preview {
namespace {

using Lines = std::vector<std::int32_t>;

TEST(FittedPreviewSizeTest, WideAndTallImagesFillOneSideOfTheArea) {
    // 1202 x 802 leaves 1200 x 800 inside the frame. A 3:2 photo fills it.
    PreviewPlacement wide = FittedPreviewSize(1202, 802, 6000, 4000);
    EXPECT_EQ(wide.width, 1200);
    EXPECT_EQ(wide.height, 800);
    EXPECT_EQ(wide.left, 1);
    EXPECT_EQ(wide.top, 1);

    // Wider than the area: the width is the limit, the height follows (cut).
    PreviewPlacement panorama = FittedPreviewSize(1202, 802, 9000, 2000);
    EXPECT_EQ(panorama.width, 1200);
    EXPECT_EQ(panorama.height, 266);  // 1200 * 2000 / 9000 = 266.67
    EXPECT_EQ(panorama.top, (802 - 266) / 2);

    // Portrait: the height is the limit, centred horizontally.
    PreviewPlacement tall = FittedPreviewSize(1202, 802, 4000, 6000);
    EXPECT_EQ(tall.height, 800);
    EXPECT_EQ(tall.width, 533);  // 800 * 4000 / 6000 = 533.33
    EXPECT_EQ(tall.left, (1202 - 533) / 2);
}

TEST(FittedPreviewSizeTest, ExactRatiosLoseNoPixelAndSmallImagesAreNotEnlarged) {
    // 3 x 700 / 7 is exactly 300; a floating-point ratio gives 299.99...
    PreviewPlacement exact = FittedPreviewSize(702, 702, 3000, 7000);
    EXPECT_EQ(exact.width, 300);
    EXPECT_EQ(exact.height, 700);

    PreviewPlacement small = FittedPreviewSize(1202, 802, 640, 480);
    EXPECT_EQ(small.width, 640);
    EXPECT_EQ(small.height, 480);
    EXPECT_EQ(small.left, (1202 - 640) / 2);

    // A long strip keeps a visible side; an area without room gives nothing.
    EXPECT_EQ(FittedPreviewSize(102, 102, 30000, 2).height, 1);
    EXPECT_TRUE(FittedPreviewSize(2, 500, 600, 400).Empty());
    EXPECT_TRUE(FittedPreviewSize(500, 500, 0, 400).Empty());
}

TEST(GridTest, SpacingFollowsTheSlider) {
    EXPECT_EQ(GridSpacing(16), 0);  // off
    EXPECT_EQ(GridSpacing(17), 63);
    EXPECT_EQ(GridSpacing(64), 16);
}

TEST(GridTest, LinesAreLaidOutFromTheMiddleWithATwoPixelCentre) {
    // 200 rows at 63: f = 100, h = 1 -> 37, 100, 163, and 99 for the centre.
    EXPECT_EQ(GridLinePositions(200, 63), (Lines{37, 99, 100, 163}));
    // 50 rows at 16: f = 25, h = 1 -> 9, 25, 41, and 24.
    EXPECT_EQ(GridLinePositions(50, 16), (Lines{9, 24, 25, 41}));
}

TEST(GridTest, LastLineIsLeftOutWhenTheSizeIsAMultipleOfTheSpacing) {
    // 48 rows at 16: f = 24, h = 1 -> 8, 24 and not 40 (48 = 3 x 16).
    EXPECT_EQ(GridLinePositions(48, 16), (Lines{8, 23, 24}));
    // 126 at 63: f = 63, h = 1 -> 0, 63 (126 is outside anyway).
    EXPECT_EQ(GridLinePositions(126, 63), (Lines{0, 62, 63}));
    // The rule alone: 64 at 16 gives 0, 16, 32, 48 but not 64.
    EXPECT_EQ(GridLinePositions(64, 16), (Lines{0, 16, 31, 32, 48}));
}

TEST(GridTest, DrawsOnlyTheLinesInTheGridColour) {
    DisplayImage display;
    ASSERT_TRUE(display.Allocate(50, 48));
    const Rgb colour = RgbFromColourValue(0x00ff8040);  // red 0x40, green 0x80, blue 0xff
    EXPECT_EQ(colour, (Rgb{0x40, 0x80, 0xff}));
    DrawGrid(display, 64, colour);
    const Lines rows{8, 23, 24};
    const Lines columns{9, 24, 25, 41};
    for (std::int32_t y = 0; y < display.height(); ++y) {
        for (std::int32_t x = 0; x < display.width(); ++x) {
            const std::uint8_t* p = display.Row(y) + 3 * x;
            const bool onLine = std::find(rows.begin(), rows.end(), y) != rows.end() ||
                                std::find(columns.begin(), columns.end(), x) != columns.end();
            EXPECT_EQ(Rgb(p[0], p[1], p[2]) == colour, onLine) << x << "," << y;
        }
    }
    // Grid value 16 draws nothing.
    DisplayImage untouched;
    ASSERT_TRUE(untouched.Allocate(50, 48));
    DrawGrid(untouched, 16, colour);
    for (std::int32_t y = 0; y < 48; ++y) {
        for (std::int32_t i = 0; i < 150; ++i) ASSERT_EQ(untouched.Row(y)[i], 0);
    }
}

TEST(DisplayImageTest, RowsArePaddedToFourBytesAndSixteenBitsKeepTheHighByte) {
    EXPECT_EQ(DisplayImage::StrideFor(1), 4);
    EXPECT_EQ(DisplayImage::StrideFor(4), 12);
    EXPECT_EQ(DisplayImage::StrideFor(5), 16);

    std::vector<std::uint16_t> samples(5 * 2 * 3);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::uint16_t>(i * 0x0101 + 0x80);
    }
    const ImageBuffer image =
        DescribeImage(5, 2, 48, reinterpret_cast<std::uint8_t*>(samples.data()));
    DisplayImage display;
    ASSERT_TRUE(display.Allocate(5, 2));
    std::fill(display.data(), display.data() + display.stride() * 2, std::uint8_t{0xee});
    CopyToDisplay(image, display);
    for (std::int32_t y = 0; y < 2; ++y) {
        for (std::int32_t i = 0; i < 15; ++i) {
            EXPECT_EQ(display.Row(y)[i], static_cast<std::uint8_t>(y * 15 + i));
        }
        EXPECT_EQ(display.Row(y)[15], 0) << "padding must be cleared";
    }
}

}  // namespace
}  // namespace quillon::preview
