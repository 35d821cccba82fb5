#pragma once

#include <cstdint>

#include "imageio/image_file.h"
#include "platform/message_sink.h"

// Shared by both readers: the size guard.

namespace quillon::imageio::detail {

// Refuses sides of 0 or above kMaxImageSide before anything is allocated, so a
// file cannot ask for more memory than any photo needs. Shows the message.
bool CheckImageSides(std::uint64_t width, std::uint64_t height, platform::MessageSink& sink);

}  // namespace quillon::imageio::detail
