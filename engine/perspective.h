#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/correction_settings.h"
#include "engine/image_blocks.h"
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

// The bytes an image block needs so that a canvas for an image of `dataSize`
// bytes fits in it (16/9 of it, rounded).
std::size_t EnlargedBlockSize(std::int64_t dataSize);

// Makes the source, work and backup blocks large enough for canvases of
// `source`: a new source block receives the source's pixels, and `source` and
// `destination` are pointed at the new source and work blocks. Status 0; 1
// when the image stays usable at its old size but cannot be enlarged (after
// "Insufficient memory for Perspective adjustments" when the source block
// failed, "Insufficient memory for perspective adjustments" when the work block
// did); 2 when not even the old work block could be had again. A backup block
// that cannot be enlarged keeps its old contents' size, which is all a restore
// needs.
// Every block is asked of the context's memory gate first.
Status EnlargeForPerspective(ImageBlocks& blocks, ImageBuffer& source, ImageBuffer& destination,
                             EngineContext& context);

// False when a canvas side for `image` would exceed kMaxImageSide.
[[nodiscard]] bool CanvasFitsLimits(const ImageBuffer& image);

// Readies the blocks behind `source` and `destination` for two canvases:
// refuses images whose canvas would exceed kMaxImageSide (status 1, with the
// memory message: such canvases run to gigabytes), and enlarges the blocks
// unless they already are large enough and are the ones the descriptions name.
Status PrepareCanvasBlocks(ImageBlocks& blocks, ImageBuffer& source, ImageBuffer& destination,
                           EngineContext& context);

// The perspective and scale routes: `result` (the image so far, in its own
// block) is centred on a canvas in that block, worked on between that canvas
// and one in `otherPixels` (the other block), and the image-sized window is
// cropped into `destination`, which may name either block. The crop shifts
// are written back to `settings` when they had to be limited. A failing step
// skips the rest.
Status CorrectOnCanvas(const ImageBuffer& result, std::uint8_t* otherPixels,
                       const ImageBuffer& destination, bool perspective, bool scale,
                       CorrectionSettings& settings, const LensModel& lens, EngineContext& context);

}  // namespace quillon::engine
