#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "base/pixel_block.h"
#include "base/status.h"
#include "engine/worker_pool.h"
#include "imageio/image_file.h"
#include "platform/message_sink.h"
#include "plugin/host_call.h"

// The document between the host and the engine. The host hands pixels out one
// rectangle and one plane at a time; the engine works on one interleaved RGB
// image. The whole document is pulled in before anything else happens and the
// corrected image pushed back the same way, in tiles of the selection's size
// laid from the document's top-left corner.
//
// 16-bit hosts keep samples in 0..32768, the engine in 0..65535; 32768 and
// 65535 are each other's images, and a sample survives the way there and back.

namespace quillon::plugin {

inline std::uint16_t HostToEngineSample(std::uint16_t v) {
    // A host sample above its range would wrap; it is taken as full scale.
    const std::uint32_t wide = (std::uint32_t{v} * 65535u + 16384u) >> 15;
    return static_cast<std::uint16_t>(wide > 65535u ? 65535u : wide);
}

inline std::uint16_t EngineToHostSample(std::uint16_t v) {
    return static_cast<std::uint16_t>((std::uint32_t{v} + 1u) >> 1);
}

// Sets image.input and image.output up for the host's document (the whole
// document, not the selection), allocates their blocks through `allocator`
// and copies the document in. Documents the engine cannot take (sides above
// 32767, a depth other than 8 or 16 bits, fewer than three planes) are
// refused with a message and FILTER_RESULT_REPORTED, before anything is
// allocated. A failed allocation has shown its message and set the result.
// Status 1 on any failure.
Status LoadHostImage(HostCall call, CurrentImage& image, BlockAllocator& allocator,
                     engine::WorkerPool& pool, platform::MessageSink& sink);

// The two directions of the transfer. Each advanceState result becomes the
// call's result; a failing one stops the transfer with its message, as does a
// host answer without usable pixels (result FILTER_RESULT_REPORTED). Status 1
// on failure. After a successful write the last tile's output request stays
// in the record, for the host to take over when the selector returns. The
// samples of each plane are copied on `pool`'s workers.
Status CopyHostToBuffer(HostCall call, const ImageBuffer& input, engine::WorkerPool& pool,
                        platform::MessageSink& sink);
Status CopyBufferToHost(HostCall call, const ImageBuffer& output, engine::WorkerPool& pool,
                        platform::MessageSink& sink);

}  // namespace quillon::plugin
