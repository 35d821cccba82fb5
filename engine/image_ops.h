#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/worker_pool.h"
#include "platform/message_sink.h"

// Helpers that move pixels without a transform, and the checks every engine
// entry point makes before touching an image.

namespace quillon::engine {

// Fails (status 1) when the geometry of `image` cannot be handled by the
// engine (IsUsableGeometry): a side above kMaxImageSide with a message, as
// such images come from files; anything else without, being a fault of the
// caller.
Status CheckImageGeometry(const ImageBuffer& image, platform::MessageSink& sink);
// The same, and fails when the pixels are missing.
Status CheckImage(const ImageBuffer& image, platform::MessageSink& sink);

// Whether the pixel blocks of two images share any byte. A remap reads its
// source while writing its destination, so the two must be apart.
bool PixelsOverlap(const ImageBuffer& a, const ImageBuffer& b);

// Destination pixel (row i, column k) takes the source pixel at row
// i + (Hs - Hd) / 2, column k + (Ws - Wd) / 2 (integer halves), so the two
// images share their centre; destination pixels without a source pixel become
// zero. Both images must have the same bitsPerPixel (24 or 48).
void CopyCentred(const ImageBuffer& source, const ImageBuffer& destination);

// The reduction factor ReducePreview uses for a source of sourceWidth x
// sourceHeight and a preview of width x height: 4, 3, 2 or 1 (none).
std::int32_t PreviewReductionFactor(std::int32_t sourceWidth, std::int32_t sourceHeight,
                                    std::int32_t width, std::int32_t height);

// Makes the preview: the 8-bit source is first reduced by an integer factor
// (truncated block means), then resampled to the destination's width x height
// with the cubic kernel. The destination must be 8-bit with its geometry set.
Status ReducePreview(const ImageBuffer& source, const ImageBuffer& destination,
                     EngineContext& context);

}  // namespace quillon::engine
