#pragma once

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/correction_settings.h"
#include "engine/run_correction.h"
#include "engine/worker_pool.h"

// The one place the preview calls the engine's correction, so the way the
// engine is driven can change without touching the renderer.

namespace quillon::preview::detail {

// Corrects `source` into `destination` (same geometry, apart) with `settings`,
// working in `scratch`, which grows on the first use and is kept for the next
// run: at the same size and the same kinds of correction nothing is
// allocated. `source` is only read. Crop shifts the canvas could not follow
// are written back to `settings` as limited.
Status CorrectPreviewImage(const ImageBuffer& source, const ImageBuffer& destination,
                           engine::CorrectionScratch& scratch, engine::CorrectionSettings& settings,
                           const engine::LensModel& lens, engine::LensState lensState,
                           engine::EngineContext& context);

}  // namespace quillon::preview::detail
