#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "base/pixel_block.h"
#include "base/status.h"
#include "engine/worker_pool.h"
#include "platform/message_sink.h"
#include "preview/colour_management.h"
#include "preview/display_image.h"

// The zoom view of the chromatic-aberration tab: a region of the full-size
// image at 100 % to 800 %, stretched over the preview area, where colour
// fringes can be judged pixel by pixel. Only the region (with a margin that
// covers the largest shift) is corrected, so every slider step is shown at
// once.
//
// The region is corrected inside the full-size bitmap, the uncorrected 8-bit
// copy of the photo the view draws from: its uncorrected pixels are saved when
// the region is placed and written back before it moves, so the bitmap outside
// the region always holds the photo as it is. While the region is being moved
// (scrolling, dragging) it is shown uncorrected; the correction runs when the
// movement ends.

namespace quillon::preview {

inline constexpr std::int32_t kZoomStepMax = 71;

// The magnification of zoom step z in percent: 10 z + 90 (100 % to 800 %).
std::int32_t ZoomPercent(std::int32_t step);

// The region's side for an area side at zoom step `step` (1 .. 71): the area
// side less one, divided by the magnification and cut, made even by adding 1.
std::int32_t ZoomRegionSide(std::int32_t areaSide, std::int32_t step);

// A rectangle of the full-size image in its pixels.
struct ZoomRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    std::int32_t Right() const { return left + width; }   // exclusive
    std::int32_t Bottom() const { return top + height; }  // exclusive
    friend bool operator==(const ZoomRect&, const ZoomRect&) = default;
};

enum class ZoomAxis { kHorizontal, kVertical };

// A scroll bar over one image side: positions 0 .. maximum (the image side
// less 1), a page of the region's side, the thumb at the region's corner.
struct ScrollRange {
    std::int32_t maximum = 0;
    std::int32_t page = 0;
    std::int32_t position = 0;

    // The largest thumb position, for toolkits whose range leaves the page out
    // (a QScrollBar's maximum): the region's right or bottom edge at the image
    // edge, never below 0.
    std::int32_t LastPosition() const { return maximum - page + 1 > 0 ? maximum - page + 1 : 0; }
};

// While the Alt key is held during a change of a chromatic-aberration value,
// the region shows only the two channels that value moves against each other.
enum class ChannelView {
    kAll,
    kRedGreen,   // red-cyan: blue replaced by green
    kBlueGreen,  // blue-yellow: red replaced by green
};

struct RegionCorrection {
    bool previewOn = true;  // off: the region shows the photo uncorrected
    std::int32_t caRed = 0;
    std::int32_t caBlue = 0;
    ChannelView view = ChannelView::kAll;
};

class ZoomView {
  public:
    // A new image of imageWidth x imageHeight: zoom off, the view centred,
    // margins for its size. Saved pixels of the previous image are dropped.
    void SetImage(std::int32_t imageWidth, std::int32_t imageHeight);
    // The preview area's size; allocates the region buffers for it. False
    // when the memory cannot be had (the zoom view then stays off).
    [[nodiscard]] bool SetArea(std::int32_t areaWidth, std::int32_t areaHeight);

    std::int32_t step() const { return step_; }
    bool Active() const { return step_ > 0; }
    const ZoomRect& region() const { return region_; }
    double centreX() const { return centreX_; }
    double centreY() const { return centreY_; }
    std::int32_t marginX() const { return marginX_; }
    std::int32_t marginY() const { return marginY_; }
    // Bytes of one region buffer: (area width made even + 2 margins) x (area
    // height made even + 2 margins) x 3.
    std::int64_t RegionBufferBytes() const { return bufferBytes_; }
    ScrollRange Range(ZoomAxis axis) const;

    // Every operation below that moves the region or changes pixels works on
    // `fullSize`, the full-size 8-bit bitmap of the image set with SetImage.

    // Switches to zoom step `step` (0 = off, clamped to 0 .. 71): the saved
    // pixels go back, and for a step above 0 the region is placed anew around
    // the view centre and its pixels saved.
    void SetStep(std::int32_t step, ImageBuffer& fullSize, platform::MessageSink& sink);
    // The same region placed again (after the bitmap was made anew).
    void PlaceAgain(ImageBuffer& fullSize, platform::MessageSink& sink);

    // Scroll bar movements: the thumb dragged to `position`, or a step of
    // `delta` image pixels (a line step is 1, a page step the region's side).
    void ScrollTo(ZoomAxis axis, std::int32_t position, ImageBuffer& fullSize,
                  platform::MessageSink& sink);
    void ScrollBy(ZoomAxis axis, std::int32_t delta, ImageBuffer& fullSize,
                  platform::MessageSink& sink);

    // Dragging with the mouse moves the region opposite to it: the mouse's
    // displacement from (x, y) at the press, divided by the magnification and
    // rounded half away from zero, is taken from the corner the region had at
    // the press.
    void BeginDrag(std::int32_t x, std::int32_t y);
    void DragTo(std::int32_t x, std::int32_t y, ImageBuffer& fullSize, platform::MessageSink& sink);
    void EndDrag() { dragging_ = false; }
    bool Dragging() const { return dragging_; }

    // Corrects the region in the bitmap: with the preview off its saved pixels
    // are written back and nothing else happens; otherwise the region and its
    // margin are cut out, red and blue shifted by ShiftForDetail for the
    // region's position, the channel view applied and the region written in.
    // Fails (with "Error #800", nothing changed) when the region and its
    // margin would not fit the region buffer.
    Status CorrectRegion(const RegionCorrection& correction, ImageBuffer& fullSize,
                         engine::EngineContext& context);

    // Writes the saved pixels back (zoom off, or before the bitmap goes).
    void WriteBack(ImageBuffer& fullSize, platform::MessageSink& sink);

    // What the window draws: the region of the bitmap, cut at the image's
    // right and bottom edges, through the display transform. The whole region
    // stretches over the area, so a cut region covers only its share of it
    // (out.width() * area width / region().width). False when the memory for
    // `out` cannot be had or the zoom is off.
    bool Present(const ImageBuffer& fullSize, const DisplayTransform& transform,
                 DisplayImage& out) const;

  private:
    void MoveTo(std::int32_t left, std::int32_t top, ImageBuffer& fullSize,
                platform::MessageSink& sink);
    bool MatchesImage(const ImageBuffer& fullSize) const;
    // Saves the region's pixels and records where they came from.
    void Place(ImageBuffer& fullSize);
    // Puts the saved pixels back where they came from; they stay saved.
    void RestoreSaved(ImageBuffer& fullSize) const;
    // The region must be where its pixels were saved. When it is not (an
    // internal fault, reported as "Error #<errorNumber>"), the saved pixels go
    // back where they came from and the region is placed anew.
    void CheckPlaced(int errorNumber, ImageBuffer& fullSize, platform::MessageSink& sink);
    void ClampCorner();
    void UpdateCentre();

    std::int32_t imageWidth_ = 0;
    std::int32_t imageHeight_ = 0;
    std::int32_t areaWidth_ = 0;
    std::int32_t areaHeight_ = 0;
    std::int32_t marginX_ = 0;
    std::int32_t marginY_ = 0;
    std::int32_t step_ = 0;
    double centreX_ = 0.5;
    double centreY_ = 0.5;
    ZoomRect region_;
    // The rectangle whose pixels `saved_` holds; empty when nothing is saved.
    ZoomRect placed_;
    bool dragging_ = false;
    std::int32_t dragX_ = 0;
    std::int32_t dragY_ = 0;
    ZoomRect dragStart_;

    PixelBlock saved_;  // the placed region's uncorrected pixels
    PixelBlock cut_;    // the region with its margin, uncorrected
    PixelBlock shifted_;
    std::int64_t bufferBytes_ = 0;
};

}  // namespace quillon::preview
