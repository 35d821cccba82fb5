#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/correction_settings.h"
#include "engine/run_correction.h"
#include "engine/worker_pool.h"
#include "image/current_image.h"
#include "preview/colour_management.h"
#include "preview/display_image.h"

// The fitted view's picture: the reduced preview image, corrected with the
// current values, in the display image the window paints. The images are
// allocated when the preview is set up for an image and an area, and the
// engine's scratch memory on the first render that needs it; following a
// slider allocates nothing after that.

namespace quillon::preview {

struct RenderOptions {
    // False while the preview check box is off or the user presses the mouse
    // on the preview to compare with the uncorrected photo.
    bool showCorrected = true;
    std::int32_t grid = 16;  // the grid slider's value; 16 = no grid
    Rgb gridColour{255, 0, 0};
};

class PreviewRenderer {
  public:
    // Makes the reduced preview of `image` (8-bit, full size) at width x
    // height and the blocks and display image a render needs. On failure
    // (message shown) the renderer is left empty.
    Status Prepare(const ImageBuffer& image, std::int32_t width, std::int32_t height,
                   engine::EngineContext& context);
    void Release();

    bool Ready() const { return reduced_.pixels != nullptr; }
    // The reduced, uncorrected preview image.
    const ImageBuffer& Reduced() const { return reduced_; }
    // The last render, top-down RGB with padded rows.
    const DisplayImage& Display() const { return display_; }

    // Renders the reduced image into the display image: corrected when asked
    // for and some correction is active (with the chromatic-aberration values
    // held at 0, as they are judged in the zoom view only), then the display
    // transform and the grid. `settings` is read as given; only crop shifts
    // the correction had to limit are written back to it. A failed correction
    // leaves the display showing the uncorrected image and passes its status on.
    Status Render(engine::CorrectionSettings& settings, const engine::LensModel& lens,
                  engine::LensState lensState, const RenderOptions& options,
                  const DisplayTransform& transform, engine::EngineContext& context);

  private:
    ImageBlocks blocks_;  // source: the reduced image; work: the corrected one
    engine::CorrectionScratch scratch_;
    ImageBuffer reduced_;
    ImageBuffer corrected_;
    DisplayImage display_;
};

}  // namespace quillon::preview
