#pragma once

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/correction_settings.h"
#include "engine/image_blocks.h"
#include "engine/worker_pool.h"

// The one place the preview calls the engine's correction, so the way the
// engine is driven can change without touching the renderer.

namespace quillon::preview::detail {

// Corrects `source` (whose pixels are `blocks.source`, enlarged for canvases)
// into `destination` (`blocks.work`) and leaves `source` as it was.
Status CorrectPreviewImage(ImageBuffer& destination, ImageBuffer& source,
                           engine::ImageBlocks& blocks, engine::CorrectionSettings& settings,
                           const engine::LensModel& lens, engine::LensState lensState,
                           engine::EngineContext& context);

}  // namespace quillon::preview::detail
