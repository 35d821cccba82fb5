#pragma once

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/correction_settings.h"
#include "engine/image_blocks.h"
#include "engine/worker_pool.h"

// All corrections of one image in their fixed order: vignetting on the source,
// then lens correction or fisheye conversion, then perspective, scale and crop
// shift on an enlarged canvas. The same entry serves the preview, the full
// image, batch correction and the plug-in.

namespace quillon::engine {

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
