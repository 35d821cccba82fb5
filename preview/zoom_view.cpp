#include "preview/zoom_view.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "engine/chromatic_aberration.h"
#include "text/messages.h"

namespace quillon::preview {

namespace {

constexpr std::int32_t kBytesPerPixel = 3;

// The part of `rect` inside an image of width x height.
ZoomRect Inside(const ZoomRect& rect, std::int32_t width, std::int32_t height) {
    ZoomRect cut;
    cut.left = std::clamp(rect.left, 0, width);
    cut.top = std::clamp(rect.top, 0, height);
    cut.width = std::max(0, std::min(rect.Right(), width) - cut.left);
    cut.height = std::max(0, std::min(rect.Bottom(), height) - cut.top);
    return cut;
}

std::size_t RowBytes(const ZoomRect& rect) {
    return static_cast<std::size_t>(rect.width) * kBytesPerPixel;
}
std::size_t RectBytes(const ZoomRect& rect) {
    return RowBytes(rect) * static_cast<std::size_t>(rect.height);
}

std::uint8_t* PixelAt(const ImageBuffer& image, std::int32_t x, std::int32_t y) {
    return image.Row(y) + static_cast<std::int64_t>(x) * kBytesPerPixel;
}

// Copies `rect` of the image into packed rows at `to`, or back.
void CopyOut(const ImageBuffer& image, const ZoomRect& rect, std::uint8_t* to) {
    for (std::int32_t y = 0; y < rect.height; ++y) {
        std::memcpy(to + static_cast<std::size_t>(y) * RowBytes(rect),
                    PixelAt(image, rect.left, rect.top + y), RowBytes(rect));
    }
}
void CopyIn(const std::uint8_t* from, const ZoomRect& rect, const ImageBuffer& image) {
    for (std::int32_t y = 0; y < rect.height; ++y) {
        std::memcpy(PixelAt(image, rect.left, rect.top + y),
                    from + static_cast<std::size_t>(y) * RowBytes(rect), RowBytes(rect));
    }
}

// n / d rounded half away from zero, for d > 0.
std::int32_t DivideRounded(std::int64_t n, std::int64_t d) {
    const std::int64_t magnitude = (2 * (n < 0 ? -n : n) + d) / (2 * d);
    return static_cast<std::int32_t>(n < 0 ? -magnitude : magnitude);
}

}  // namespace

std::int32_t ZoomPercent(std::int32_t step) { return 10 * step + 90; }

std::int32_t ZoomRegionSide(std::int32_t areaSide, std::int32_t step) {
    if (areaSide <= 1 || step <= 0) return 0;
    // Integer arithmetic: (area - 1) / m with m = percent / 100, cut.
    std::int32_t side = static_cast<std::int32_t>(std::int64_t{areaSide - 1} * 100 /
                                                  ZoomPercent(std::min(step, kZoomStepMax)));
    if (side % 2 != 0) ++side;
    return side;
}

void ZoomView::SetImage(std::int32_t imageWidth, std::int32_t imageHeight) {
    imageWidth_ = std::max(0, imageWidth);
    imageHeight_ = std::max(0, imageHeight);
    step_ = 0;
    centreX_ = 0.5;
    centreY_ = 0.5;
    region_ = {};
    placed_ = {};
    dragging_ = false;
    // The margin covers the largest shift a chromatic-aberration value can
    // ask for at the image's edge: a 1 % scale change of half the side.
    const std::int64_t shortSide = std::min(imageWidth_, imageHeight_);
    const std::int64_t longSide = std::max(imageWidth_, imageHeight_);
    const std::int64_t shortMargin = (shortSide + 197) / 198;
    const std::int64_t longMargin =
        shortSide > 0 ? (shortMargin * longSide + shortSide - 1) / shortSide : 0;
    const bool wide = imageWidth_ >= imageHeight_;
    marginX_ = static_cast<std::int32_t>(wide ? longMargin : shortMargin);
    marginY_ = static_cast<std::int32_t>(wide ? shortMargin : longMargin);
    if (areaWidth_ > 0 && areaHeight_ > 0) (void)SetArea(areaWidth_, areaHeight_);
}

bool ZoomView::SetArea(std::int32_t areaWidth, std::int32_t areaHeight) {
    areaWidth_ = std::max(0, areaWidth);
    areaHeight_ = std::max(0, areaHeight);
    const std::int64_t evenWidth = areaWidth_ & ~1;
    const std::int64_t evenHeight = areaHeight_ & ~1;
    bufferBytes_ = (evenWidth + 2 * marginX_) * (evenHeight + 2 * marginY_) * kBytesPerPixel;
    const std::optional<ByteCount> savedBytes =
        ByteCount::Of(evenWidth, evenHeight, kBytesPerPixel);
    const std::optional<ByteCount> regionBytes = ByteCount::Of(bufferBytes_);
    bool ok = savedBytes && regionBytes;
    if (ok && saved_.size() < savedBytes->value()) {
        // Pixels saved for a placed region must survive: the bitmap still
        // holds the corrected region over them.
        PixelBlock larger(saved_.allocator());
        ok = larger.Allocate(*savedBytes);
        if (ok) {
            if (!saved_.empty()) std::memcpy(larger.data(), saved_.data(), saved_.size());
            saved_ = std::move(larger);
        }
    }
    if (ok && cut_.size() < regionBytes->value()) ok = cut_.Allocate(*regionBytes);
    if (ok && shifted_.size() < regionBytes->value()) ok = shifted_.Allocate(*regionBytes);
    if (!ok) {
        cut_.Release();
        shifted_.Release();
        bufferBytes_ = 0;
        return false;
    }
    if (Active()) {
        // The region takes the new area's size now; its saved pixels still
        // belong to where it was placed until it is placed again.
        region_.width = ZoomRegionSide(areaWidth_, step_);
        region_.height = ZoomRegionSide(areaHeight_, step_);
        ClampCorner();
    }
    return true;
}

ScrollRange ZoomView::Range(ZoomAxis axis) const {
    const bool horizontal = axis == ZoomAxis::kHorizontal;
    ScrollRange range;
    range.maximum = std::max(0, (horizontal ? imageWidth_ : imageHeight_) - 1);
    range.page = horizontal ? region_.width : region_.height;
    range.position = horizontal ? region_.left : region_.top;
    return range;
}

void ZoomView::ClampCorner() {
    region_.left = std::clamp(region_.left, 0, std::max(0, imageWidth_ - region_.width));
    region_.top = std::clamp(region_.top, 0, std::max(0, imageHeight_ - region_.height));
}

void ZoomView::UpdateCentre() {
    if (imageWidth_ > 1) centreX_ = (region_.width / 2 + region_.left) / double(imageWidth_ - 1);
    if (imageHeight_ > 1) {
        centreY_ = (region_.height / 2 + region_.top) / double(imageHeight_ - 1);
    }
}

bool ZoomView::MatchesImage(const ImageBuffer& fullSize) const {
    return fullSize.pixels != nullptr && fullSize.bitsPerPixel == 24 &&
           fullSize.width == imageWidth_ && fullSize.height == imageHeight_;
}

void ZoomView::Place(ImageBuffer& fullSize) {
    placed_ = region_;
    const ZoomRect visible = Inside(placed_, imageWidth_, imageHeight_);
    if (MatchesImage(fullSize) && saved_.size() >= RectBytes(visible)) {
        CopyOut(fullSize, visible, saved_.data());
    } else {
        placed_ = {};
    }
}

void ZoomView::RestoreSaved(ImageBuffer& fullSize) const {
    if (placed_.width == 0 || !MatchesImage(fullSize)) return;
    CopyIn(saved_.data(), Inside(placed_, imageWidth_, imageHeight_), fullSize);
}

void ZoomView::CheckPlaced(int errorNumber, ImageBuffer& fullSize, platform::MessageSink& sink) {
    if (placed_.width == 0 || region_ == placed_) return;
    sink.Show("Error #" + std::to_string(errorNumber) + ": Contact developer.");
    // The saved pixels belong where they were taken from; writing them
    // anywhere else would leave corrected pixels in the photo's bitmap.
    RestoreSaved(fullSize);
    Place(fullSize);
}

void ZoomView::WriteBack(ImageBuffer& fullSize, platform::MessageSink& sink) {
    if (placed_.width == 0) return;
    if (region_ != placed_) sink.Show("Error #900: Contact developer.");
    RestoreSaved(fullSize);
    placed_ = {};
}

void ZoomView::SetStep(std::int32_t step, ImageBuffer& fullSize, platform::MessageSink& sink) {
    step = std::clamp(step, 0, kZoomStepMax);
    WriteBack(fullSize, sink);
    step_ = step;
    dragging_ = false;
    if (step_ == 0) {
        region_ = {};
        return;
    }
    region_.width = ZoomRegionSide(areaWidth_, step_);
    region_.height = ZoomRegionSide(areaHeight_, step_);
    region_.left =
        static_cast<std::int32_t>(std::llround(centreX_ * (imageWidth_ - 1))) - region_.width / 2;
    region_.top =
        static_cast<std::int32_t>(std::llround(centreY_ * (imageHeight_ - 1))) - region_.height / 2;
    ClampCorner();
    Place(fullSize);
}

void ZoomView::PlaceAgain(ImageBuffer& fullSize, platform::MessageSink& sink) {
    SetStep(step_, fullSize, sink);
}

void ZoomView::MoveTo(std::int32_t left, std::int32_t top, ImageBuffer& fullSize,
                      platform::MessageSink& sink) {
    if (!Active()) return;
    WriteBack(fullSize, sink);
    region_.left = left;
    region_.top = top;
    ClampCorner();
    UpdateCentre();
    Place(fullSize);
}

void ZoomView::ScrollTo(ZoomAxis axis, std::int32_t position, ImageBuffer& fullSize,
                        platform::MessageSink& sink) {
    if (axis == ZoomAxis::kHorizontal) {
        MoveTo(position, region_.top, fullSize, sink);
    } else {
        MoveTo(region_.left, position, fullSize, sink);
    }
}

void ZoomView::ScrollBy(ZoomAxis axis, std::int32_t delta, ImageBuffer& fullSize,
                        platform::MessageSink& sink) {
    const ScrollRange range = Range(axis);
    const std::int64_t target = std::int64_t{range.position} + delta;
    ScrollTo(axis, static_cast<std::int32_t>(std::clamp<std::int64_t>(target, 0, range.maximum)),
             fullSize, sink);
}

void ZoomView::BeginDrag(std::int32_t x, std::int32_t y) {
    if (!Active()) return;
    dragging_ = true;
    dragX_ = x;
    dragY_ = y;
    dragStart_ = region_;
}

void ZoomView::DragTo(std::int32_t x, std::int32_t y, ImageBuffer& fullSize,
                      platform::MessageSink& sink) {
    if (!dragging_ || !Active()) return;
    const std::int32_t percent = ZoomPercent(step_);
    const std::int32_t moveX = DivideRounded(std::int64_t{x - dragX_} * 100, percent);
    const std::int32_t moveY = DivideRounded(std::int64_t{y - dragY_} * 100, percent);
    MoveTo(dragStart_.left - moveX, dragStart_.top - moveY, fullSize, sink);
}

Status ZoomView::CorrectRegion(const RegionCorrection& correction, ImageBuffer& fullSize,
                               engine::EngineContext& context) {
    if (!Active() || !MatchesImage(fullSize)) return Status::Ok();
    CheckPlaced(902, fullSize, context.sink);
    // Start from the photo as it is: the region may hold an earlier correction.
    RestoreSaved(fullSize);
    if (!correction.previewOn) return Status::Ok();

    const ZoomRect visible = Inside(region_, imageWidth_, imageHeight_);
    if (visible.width == 0 || visible.height == 0) return Status::Ok();
    const ZoomRect withMargin =
        Inside({visible.left - marginX_, visible.top - marginY_, visible.width + 2 * marginX_,
                visible.height + 2 * marginY_},
               imageWidth_, imageHeight_);
    const std::int64_t bytes = std::int64_t{withMargin.width} * withMargin.height * kBytesPerPixel;
    if (bytes > bufferBytes_) {
        text::ShowText(context.sink, "Error #800: Contact developer (%d %d %d %d %lld)",
                       withMargin.left, withMargin.Right(), withMargin.top, withMargin.Bottom(),
                       static_cast<long long>(bufferBytes_));
        return Status(1);
    }
    CopyOut(fullSize, withMargin, cut_.data());
    const ImageBuffer cut = DescribeImage(withMargin.width, withMargin.height, 24, cut_.data());
    const ImageBuffer shifted =
        DescribeImage(withMargin.width, withMargin.height, 24, shifted_.data());
    const engine::DetailRegion detail{imageWidth_, imageHeight_,  visible.left,
                                      visible.top, visible.width, visible.height};
    QUILLON_RETURN_IF_ERROR(
        engine::ShiftForDetail(detail, correction.caRed, correction.caBlue, cut, shifted, context));

    CheckPlaced(901, fullSize, context.sink);
    const std::int32_t offsetX = visible.left - withMargin.left;
    const std::int32_t offsetY = visible.top - withMargin.top;
    for (std::int32_t y = 0; y < visible.height; ++y) {
        const std::uint8_t* in = PixelAt(shifted, offsetX, offsetY + y);
        std::uint8_t* out = PixelAt(fullSize, visible.left, visible.top + y);
        std::memcpy(out, in, RowBytes(visible));
        if (correction.view == ChannelView::kAll) continue;
        const int replaced = correction.view == ChannelView::kRedGreen ? 2 : 0;
        for (std::int32_t x = 0; x < visible.width; ++x) out[3 * x + replaced] = out[3 * x + 1];
    }
    return Status::Ok();
}

bool ZoomView::Present(const ImageBuffer& fullSize, const DisplayTransform& transform,
                       DisplayImage& out) const {
    if (!Active() || !MatchesImage(fullSize)) return false;
    const ZoomRect visible = Inside(region_, imageWidth_, imageHeight_);
    if (!out.Allocate(visible.width, visible.height)) return false;
    const std::size_t padding = static_cast<std::size_t>(out.stride()) - RowBytes(visible);
    for (std::int32_t y = 0; y < visible.height; ++y) {
        std::memcpy(out.Row(y), PixelAt(fullSize, visible.left, visible.top + y),
                    RowBytes(visible));
        std::memset(out.Row(y) + RowBytes(visible), 0, padding);
    }
    transform.Apply(out);
    return true;
}

}  // namespace quillon::preview
