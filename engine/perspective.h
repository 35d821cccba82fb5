#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/correction_settings.h"
#include "engine/lens_correction.h"
#include "engine/perspective_canvas.h"
#include "engine/perspective_maps.h"
#include "engine/worker_pool.h"
#include "platform/message_sink.h"

// Perspective correction: a tilted and rotated re-projection of the canvas
// (perspective_maps.h) run as one remap from one canvas into the other.

namespace quillon::engine {

// The homography as a transform stage (params: a PerspectiveParams).
Point PerspectiveHomography(Point p, const void* params);

// Re-projects `source` into `destination` (canvases of equal size and format)
// by PerspectVert, PerspectHorz and PerspectRotate.
Status RunPerspective(const ImageBuffer& source, const ImageBuffer& destination,
                      const CorrectionSettings& settings, EngineContext& context);

// False when a canvas side for `image` would exceed kMaxImageSide.
[[nodiscard]] bool CanvasFitsLimits(const ImageBuffer& image);

// The perspective and scale routes on two canvases of one image: `first`
// holds the image placed on it (PlaceOnCanvas), the steps work between it and
// `second`, and the window `crop` is copied out into `destination`, which may
// name either canvas's block. A failing step skips the rest.
Status CorrectOnCanvas(const ImageBuffer& first, const ImageBuffer& second,
                       const ImageBuffer& destination, bool perspective, bool scale,
                       const CropWindow& crop, const CorrectionSettings& settings,
                       const LensModel& lens, EngineContext& context);

}  // namespace quillon::engine
