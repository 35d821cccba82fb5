#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/image_buffer.h"
#include "base/pixel_block.h"
#include "base/status.h"
#include "engine/correction_settings.h"
#include "lensdb/lens_selection.h"
#include "platform/message_sink.h"
#include "preview/colour_management.h"
#include "preview/fitted_size.h"
#include "preview/preview_renderer.h"
#include "preview/zoom_view.h"

// What the window shows of the current image, beside the image itself: the
// fitted preview, the full-size bitmap of the zoom view, the display transform
// and the view's own values. It belongs to the current image and is rebuilt by
// ShowImage; the window owns one and the plug-in's dialog another.

namespace quillon::preview {

// Image states of the main window.
inline constexpr int kImageNone = 0;
inline constexpr int kImageShown = 1;
inline constexpr int kImageSeveralSelected = 2;
inline constexpr int kImageBusy = 3;  // shown, kept across a rebuild while a file is written

// The photo as 8 bits per sample at full size, uncorrected: the zoom view draws
// from it and corrects its region inside it.
class FullSizeBitmap {
  public:
    // Makes the bitmap from `image` (8 or 16 bits) unless it exists already.
    // False after "Insufficient memory: failure to CreateDIBSection".
    [[nodiscard]] bool Make(const ImageBuffer& image, platform::MessageSink& sink);
    void Release();
    bool Valid() const { return image_.pixels != nullptr; }
    ImageBuffer& Image() { return image_; }
    const ImageBuffer& Image() const { return image_; }

  private:
    PixelBlock block_;
    ImageBuffer image_;
};

struct PreviewState {
    int imageState = kImageNone;
    std::string path;  // of the image shown; its name can say the colour space

    // The preview area, set by the window before ShowImage.
    std::int32_t areaWidth = 0;
    std::int32_t areaHeight = 0;
    PreviewPlacement placement;

    PreviewRenderer renderer;
    FullSizeBitmap fullSize;
    DisplayTransform transform;
    // The display's ICC profile as the window found it; empty means sRGB.
    std::vector<std::uint8_t> displayProfile;

    ZoomView zoom;
    std::int32_t grid = 16;
    // The pixels were turned (upright or by the rotation buttons), so saving
    // changes the file even without a correction.
    bool turned = false;
    // A failed allocation stops rendering until the next image.
    bool outOfMemory = false;

    // Drops everything that belongs to the image shown (zoom pixels are not
    // written back: the bitmap goes with them).
    void ReleaseImage();
};

// What the engine needs to know about the lens selection for `correction`.
engine::LensState LensStateOf(const lensdb::LensSelection& selection,
                              const engine::CorrectionSettings& correction);

// The render after a change of a value, of the view or of the image: the
// fitted view is rendered into state.renderer's display image (nothing while
// no image is shown or memory ran out). `comparing` is true while the mouse is
// pressed on the preview to see the uncorrected photo. The zoom view is not
// touched: its region is corrected by ZoomView::CorrectRegion.
Status RenderPreview(PreviewState& state, engine::CorrectionSettings& correction,
                     const lensdb::LensSelection& selection, bool previewOn, bool comparing,
                     std::int32_t gridColourValue, engine::EngineContext& context);

// Switches the zoom view to `step`, making the full-size bitmap from `image`
// first when the view is switched on. False when the bitmap cannot be made
// (the zoom stays off).
bool SetZoomStep(PreviewState& state, std::int32_t step, const ImageBuffer& image,
                 platform::MessageSink& sink);

}  // namespace quillon::preview
