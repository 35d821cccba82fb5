#pragma once

#include <cstdint>

#include "imageio/image_file.h"
#include "platform/message_sink.h"

// Shared by both readers: the size guard and the two image buffers.

namespace quillon::imageio::detail {

// Refuses sides of 0 or above kMaxImageSide before anything is allocated, so a
// file cannot ask for more memory than any photo needs. Shows the message.
bool CheckImageSides(std::uint64_t width, std::uint64_t height, platform::MessageSink& sink);

// Describes image.input as width x height at bitsPerPixel and allocates the
// input and output blocks of its data size; the output description is a
// copy of the input's that points at the output block. On failure shows the
// out-of-memory message, raises image.outOfMemory and answers false.
bool AllocateImageBuffers(CurrentImage& image, std::int32_t width, std::int32_t height,
                          std::int32_t bitsPerPixel, platform::MessageSink& sink);

// The message of a failed allocation of image data.
void ReportOutOfMemory(CurrentImage& image, platform::MessageSink& sink);

}  // namespace quillon::imageio::detail
