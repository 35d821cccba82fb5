#pragma once

#include "base/image_buffer.h"
#include "base/pixel_block.h"
#include "base/status.h"
#include "engine/correction_settings.h"
#include "engine/worker_pool.h"

// All corrections of one image in their fixed order: vignetting on the source,
// then lens correction or fisheye conversion, then perspective, scale and crop
// shift on an enlarged canvas. The same entry serves the preview, the full
// image, batch correction and the plug-in.

namespace quillon::engine {

// The pixel blocks behind one image (full size or preview), owned by the
// program state. `source` and `work` back the source and destination
// descriptions handed to RunCorrection; `backup` keeps the source while
// corrections change it in place (empty: no backup, the source is left as the
// corrections changed it, which the plug-in wants for its full image).
struct ImageBlocks {
    PixelBlock source;
    PixelBlock work;
    PixelBlock backup;
    // The blocks hold 16/9 of the image's dataSize, so perspective canvases
    // fit. Set by the preview's set-up, and by the enlargement of a full image.
    bool enlarged = false;
};

// The values RunCorrection reads (and, for the crop shifts, writes back).
struct CorrectionInputs {
    CorrectionSettings& settings;
    const LensModel& lens;
    LensState lensState;
};

// What RunCorrection will do for these inputs.
struct ActiveCorrections {
    bool distortion = false;
    bool chromaticAberration = false;
    bool fisheye = false;
    bool vignetting = false;
    bool perspective = false;
    bool scale = false;

    bool Any() const {
        return distortion || chromaticAberration || fisheye || vignetting || perspective || scale;
    }
};
ActiveCorrections DecideCorrections(const CorrectionSettings& settings, const LensModel& lens,
                                    LensState lensState);

// Corrects `source` into `destination` (equal size and format). `isPreview`
// says the source is the reduced preview image. The source pixels are restored
// from `blocks.backup` before returning, on success and on failure. Returns 0,
// or the status of the first failing step (which skips the rest).
Status RunCorrection(ImageBuffer& destination, ImageBuffer& source, bool isPreview,
                     ImageBlocks& blocks, CorrectionInputs& inputs, EngineContext& context);

}  // namespace quillon::engine
