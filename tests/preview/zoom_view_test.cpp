// The zoom view: region arithmetic, movement, and the region correction inside
// the full-size bitmap, which must always return to the photo as it is.

#include "preview/zoom_view.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "engine/worker_pool.h"
#include "platform/message_sink.h"

namespace quillon::preview {
namespace {

TEST(ZoomRegionTest, RegionSidesFollowTheMagnification) {
    // 601-pixel area: 600 / 1 = 600 at 100 %; 600 / 8 = 75, odd, so 76 at 800 %.
    EXPECT_EQ(ZoomRegionSide(601, 1), 600);
    EXPECT_EQ(ZoomRegionSide(601, 71), 76);
    EXPECT_EQ(ZoomPercent(1), 100);
    EXPECT_EQ(ZoomPercent(71), 800);
    // 150 %: 600 / 1.5 = 400 exactly, which floating point can miss by one.
    EXPECT_EQ(ZoomRegionSide(601, 6), 400);
    // 600-pixel area: 599 is odd, so 600.
    EXPECT_EQ(ZoomRegionSide(600, 1), 600);
    EXPECT_EQ(ZoomRegionSide(1, 1), 0);
}

// A full-size bitmap whose pixels encode their position.
class ZoomViewTest : public ::testing::Test {
  protected:
    static constexpr std::int32_t kWidth = 1000;
    static constexpr std::int32_t kHeight = 800;

    ZoomViewTest()
        : pixels_(std::size_t{kWidth} * kHeight * 3),
          bitmap_(DescribeImage(kWidth, kHeight, 24, pixels_.data())) {
        for (std::int32_t y = 0; y < kHeight; ++y) {
            for (std::int32_t x = 0; x < kWidth; ++x) {
                std::uint8_t* p = bitmap_.Row(y) + 3 * x;
                p[0] = static_cast<std::uint8_t>(x * 7 + y);
                p[1] = static_cast<std::uint8_t>(x * 3 + y * 5);
                p[2] = static_cast<std::uint8_t>(x + y * 11);
            }
        }
        original_ = pixels_;
        view_.SetImage(kWidth, kHeight);
        EXPECT_TRUE(view_.SetArea(601, 401));
    }

    bool BitmapIsOriginal() const { return pixels_ == original_; }
    // Whether every pixel outside `rect` is as it was.
    bool OutsideIsOriginal(const ZoomRect& rect) const {
        for (std::int32_t y = 0; y < kHeight; ++y) {
            for (std::int32_t x = 0; x < kWidth; ++x) {
                if (x >= rect.left && x < rect.Right() && y >= rect.top && y < rect.Bottom()) {
                    continue;
                }
                const std::size_t i = (std::size_t{static_cast<std::size_t>(y)} * kWidth +
                                       static_cast<std::size_t>(x)) *
                                      3;
                for (int c = 0; c < 3; ++c) {
                    if (pixels_[i + static_cast<std::size_t>(c)] !=
                        original_[i + static_cast<std::size_t>(c)]) {
                        return false;
                    }
                }
            }
        }
        return true;
    }

    std::vector<std::uint8_t> pixels_;
    std::vector<std::uint8_t> original_;
    ImageBuffer bitmap_;
    ZoomView view_;
    platform::CapturingSink sink_;
    engine::WorkerPool pool_;
    engine::EngineContext context_{pool_, sink_};
};

TEST_F(ZoomViewTest, RegionIsPlacedAroundTheViewCentreAndClampedAtTheEdges) {
    view_.SetStep(1, bitmap_, sink_);
    // Centre 0.5 of 999 rounds to 500; minus half the region (300).
    EXPECT_EQ(view_.region(), (ZoomRect{200, 200, 600, 400}));
    const ScrollRange horizontal = view_.Range(ZoomAxis::kHorizontal);
    EXPECT_EQ(horizontal.maximum, 999);
    EXPECT_EQ(horizontal.page, 600);
    EXPECT_EQ(horizontal.position, 200);
    EXPECT_EQ(horizontal.LastPosition(), 400);

    view_.ScrollTo(ZoomAxis::kHorizontal, 5000, bitmap_, sink_);
    EXPECT_EQ(view_.region().left, 400);
    view_.ScrollBy(ZoomAxis::kVertical, -view_.Range(ZoomAxis::kVertical).page, bitmap_, sink_);
    EXPECT_EQ(view_.region().top, 0);
    // The view centre follows: (300 + 400) / 999 and (200 + 0) / 799.
    EXPECT_DOUBLE_EQ(view_.centreX(), 700.0 / 999.0);
    EXPECT_DOUBLE_EQ(view_.centreY(), 200.0 / 799.0);

    // Zooming in keeps the centre; 800 % is 76 x 50 pixels.
    view_.SetStep(71, bitmap_, sink_);
    EXPECT_EQ(view_.region().width, 76);
    EXPECT_EQ(view_.region().height, 50);
    EXPECT_EQ(view_.region().left, 700 - 38);
    EXPECT_EQ(view_.region().top, 200 - 25);
    EXPECT_EQ(sink_.Count(), 0u) << sink_.Last();
}

TEST_F(ZoomViewTest, DraggingMovesAgainstTheMouseByTheDisplacementOverTheMagnification) {
    view_.SetStep(11, bitmap_, sink_);  // 200 %
    const ZoomRect start = view_.region();
    view_.BeginDrag(100, 100);
    view_.DragTo(103, 100, bitmap_, sink_);  // 1.5 rounds away from zero to 2
    EXPECT_EQ(view_.region().left, start.left - 2);
    view_.DragTo(97, 99, bitmap_, sink_);  // -1.5 -> -2, and -0.5 -> -1
    EXPECT_EQ(view_.region().left, start.left + 2);
    EXPECT_EQ(view_.region().top, start.top + 1);
    // Far past the edge the region stops there.
    view_.DragTo(100 + 10000, 100 + 10000, bitmap_, sink_);
    EXPECT_EQ(view_.region().left, 0);
    EXPECT_EQ(view_.region().top, 0);
    view_.DragTo(100 - 10000, 100 - 10000, bitmap_, sink_);
    EXPECT_EQ(view_.region().Right(), kWidth);
    EXPECT_EQ(view_.region().Bottom(), kHeight);
    view_.EndDrag();
    EXPECT_FALSE(view_.Dragging());
}

TEST_F(ZoomViewTest, CorrectionShiftsTheRegionOnlyAndMovingRestoresThePhoto) {
    view_.SetStep(1, bitmap_, sink_);
    view_.ScrollTo(ZoomAxis::kHorizontal, 400, bitmap_, sink_);  // right edge: red moves
    const ZoomRect region = view_.region();
    ASSERT_TRUE(view_.CorrectRegion({true, 100, 0, ChannelView::kAll}, bitmap_, context_).ok());
    EXPECT_FALSE(BitmapIsOriginal()) << "a red-cyan value of 100 must shift red";
    EXPECT_TRUE(OutsideIsOriginal(region));
    // Green is copied as it is.
    const std::uint8_t* p = bitmap_.Row(300) + 3 * 700;
    EXPECT_EQ(p[1], static_cast<std::uint8_t>(700 * 3 + 300 * 5));

    // Correcting again with other values starts from the photo, not from the
    // region as corrected before.
    ASSERT_TRUE(view_.CorrectRegion({true, 0, 0, ChannelView::kAll}, bitmap_, context_).ok());
    EXPECT_TRUE(BitmapIsOriginal());

    ASSERT_TRUE(view_.CorrectRegion({true, 100, -100, ChannelView::kAll}, bitmap_, context_).ok());
    view_.ScrollBy(ZoomAxis::kHorizontal, -1, bitmap_, sink_);
    EXPECT_TRUE(BitmapIsOriginal()) << "a moved region shows the photo uncorrected";
    ASSERT_TRUE(view_.CorrectRegion({true, 100, -100, ChannelView::kAll}, bitmap_, context_).ok());
    view_.SetStep(0, bitmap_, sink_);
    EXPECT_TRUE(BitmapIsOriginal()) << "switching the zoom off writes the saved pixels back";
    EXPECT_EQ(sink_.Count(), 0u) << sink_.Last();
}

TEST_F(ZoomViewTest, PreviewOffShowsTheRegionUncorrected) {
    view_.SetStep(1, bitmap_, sink_);
    ASSERT_TRUE(view_.CorrectRegion({true, 100, 100, ChannelView::kAll}, bitmap_, context_).ok());
    ASSERT_TRUE(view_.CorrectRegion({false, 100, 100, ChannelView::kAll}, bitmap_, context_).ok());
    EXPECT_TRUE(BitmapIsOriginal());
}

TEST_F(ZoomViewTest, AltShowsOnlyTheTwoChannelsAValueMovesAgainstEachOther) {
    view_.SetStep(1, bitmap_, sink_);
    const ZoomRect region = view_.region();
    auto check = [&](ChannelView channelView, int replaced) {
        ASSERT_TRUE(view_.CorrectRegion({true, 0, 0, channelView}, bitmap_, context_).ok());
        for (std::int32_t y = region.top; y < region.Bottom(); y += 37) {
            for (std::int32_t x = region.left; x < region.Right(); x += 41) {
                const std::uint8_t* p = bitmap_.Row(y) + 3 * x;
                ASSERT_EQ(p[replaced], p[1]) << x << "," << y;
                ASSERT_EQ(p[2 - replaced],
                          static_cast<std::uint8_t>(replaced == 2 ? x * 7 + y : x + y * 11));
            }
        }
        EXPECT_TRUE(OutsideIsOriginal(region));
    };
    check(ChannelView::kRedGreen, 2);   // blue replaced by green
    check(ChannelView::kBlueGreen, 0);  // red replaced by green
}

TEST_F(ZoomViewTest, ARegionMovedWithoutItsPixelsIsReportedAndThePhotoRestored) {
    view_.SetStep(1, bitmap_, sink_);
    ASSERT_TRUE(view_.CorrectRegion({true, 100, 100, ChannelView::kAll}, bitmap_, context_).ok());
    // The area shrinks while the region is placed: the region changes size
    // but its saved pixels still belong to the old rectangle.
    ASSERT_TRUE(view_.SetArea(301, 201));
    view_.ScrollBy(ZoomAxis::kHorizontal, 1, bitmap_, sink_);
    EXPECT_EQ(sink_.Last(), "Error #900: Contact developer.");
    EXPECT_TRUE(BitmapIsOriginal()) << "the saved pixels must go back where they came from";

    ASSERT_TRUE(view_.CorrectRegion({true, 100, 100, ChannelView::kAll}, bitmap_, context_).ok());
    ASSERT_TRUE(view_.SetArea(601, 401));
    ASSERT_TRUE(view_.CorrectRegion({true, 50, 50, ChannelView::kAll}, bitmap_, context_).ok());
    EXPECT_EQ(sink_.Last(), "Error #902: Contact developer.");
    EXPECT_TRUE(OutsideIsOriginal(view_.region()));
    view_.SetStep(0, bitmap_, sink_);
    EXPECT_TRUE(BitmapIsOriginal());
}

TEST_F(ZoomViewTest, PresentCutsTheRegionAtTheImageEdge) {
    // An area larger than the image at 100 %: the region reaches past it.
    ASSERT_TRUE(view_.SetArea(1201, 1001));
    view_.SetStep(1, bitmap_, sink_);
    EXPECT_EQ(view_.region(), (ZoomRect{0, 0, 1200, 1000}));
    DisplayImage shown;
    ASSERT_TRUE(view_.Present(bitmap_, DisplayTransform{}, shown));
    EXPECT_EQ(shown.width(), kWidth);
    EXPECT_EQ(shown.height(), kHeight);
    EXPECT_EQ(shown.Row(799)[3 * 999], bitmap_.Row(799)[3 * 999]);
    ASSERT_TRUE(view_.CorrectRegion({true, 100, 100, ChannelView::kAll}, bitmap_, context_).ok());
    view_.SetStep(0, bitmap_, sink_);
    EXPECT_TRUE(BitmapIsOriginal());
    EXPECT_FALSE(view_.Present(bitmap_, DisplayTransform{}, shown));
}

}  // namespace
}  // namespace quillon::preview
