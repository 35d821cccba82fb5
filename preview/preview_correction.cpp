#include "preview/preview_correction.h"

#include "engine/run_correction.h"

namespace quillon::preview::detail {

Status CorrectPreviewImage(ImageBuffer& destination, ImageBuffer& source,
                           engine::ImageBlocks& blocks, engine::CorrectionSettings& settings,
                           const engine::LensModel& lens, engine::LensState lensState,
                           engine::EngineContext& context) {
    engine::CorrectionInputs inputs{settings, lens, lensState};
    return engine::RunCorrection(destination, source, /*isPreview=*/true, blocks, inputs, context);
}

}  // namespace quillon::preview::detail
