#include "plugin/host_transfer.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>

#include "text/memory_messages.h"

namespace quillon::plugin {

namespace {

enum class Direction { kRead, kWrite };

constexpr FilterRect16 kEmptyRect = {0, 0, 0, 0};

struct Tile {
    std::int32_t top = 0;
    std::int32_t left = 0;
    std::int32_t bottom = 0;
    std::int32_t right = 0;
};

FilterRect16 ToRect(const Tile& t) {
    return {static_cast<std::int16_t>(t.top), static_cast<std::int16_t>(t.left),
            static_cast<std::int16_t>(t.bottom), static_cast<std::int16_t>(t.right)};
}

// Copies plane `plane` of one tile between the host's block and the
// interleaved image, rows shared out over the workers (the copy walks the
// whole image once per plane, as long as a light correction takes).
// `Sample` is the sample type, `convert` maps one sample.
template <class Sample, Direction kDirection, class Convert>
void CopyPlane(const ImageBuffer& image, const Tile& tile, int plane, std::uint8_t* host,
               std::int64_t hostRowBytes, engine::WorkerPool& pool, Convert convert) {
    (void)engine::FanOutBands(
        pool, tile.bottom - tile.top, [&](std::int32_t first, std::int32_t end) {
            // Locals, not captures: byte stores may alias anything reached
            // through a reference, which would stop the compiler from counting
            // the loop.
            const std::int32_t width = tile.right - tile.left;
            const std::int32_t top = tile.top;
            for (std::int32_t y = top + first; y < top + end; ++y) {
                auto* hostRow = reinterpret_cast<Sample*>(host + (y - top) * hostRowBytes);
                Sample* pixels = reinterpret_cast<Sample*>(image.Row(y)) +
                                 static_cast<std::ptrdiff_t>(tile.left) * 3 + plane;
                for (std::int32_t i = 0; i < width; ++i) {
                    if constexpr (kDirection == Direction::kRead) {
                        pixels[3 * i] = convert(hostRow[i]);
                    } else {
                        hostRow[i] = convert(pixels[3 * i]);
                    }
                }
            }
            return Status::Ok();
        });
}

template <Direction kDirection>
Status Transfer(HostCall call, const ImageBuffer& image, engine::WorkerPool& pool,
                platform::MessageSink& sink) {
    constexpr bool kRead = kDirection == Direction::kRead;
    const char* failure =
        kRead ? "cpyPsToBuf error: advanceState" : "cpyBufToPs error: advanceState";
    FilterRecord& record = call.record;
    if (record.advanceState == nullptr) {
        sink.Show(failure);
        call.result = FILTER_RESULT_REPORTED;
        return StatusCode::kFailed;
    }
    const std::int32_t width = image.width;
    const std::int32_t height = image.height;
    const int sampleBytes = image.bitsPerPixel == 48 ? 2 : 1;

    // Tiles have the selection's size; a selection the host gave no extent
    // is taken as the whole document.
    std::int32_t tileHeight = record.filterRect.bottom - record.filterRect.top;
    std::int32_t tileWidth = record.filterRect.right - record.filterRect.left;
    if (tileHeight <= 0 || tileWidth <= 0) {
        tileHeight = height;
        tileWidth = width;
    }
    record.inputRate = FILTER_FIXED_ONE;
    record.maskRate = FILTER_FIXED_ONE;

    for (std::int32_t top = 0; top < height; top += tileHeight) {
        for (std::int32_t left = 0; left < width; left += tileWidth) {
            const Tile tile{top, left, std::min(top + tileHeight, height),
                            std::min(left + tileWidth, width)};
            for (int plane = 0; plane < 3; ++plane) {
                const auto p = static_cast<std::int16_t>(plane);
                // Only one direction is asked for at a time, so the host
                // never prepares pixels that are not wanted.
                if constexpr (kRead) {
                    record.inRect = ToRect(tile);
                    record.inLoPlane = record.inHiPlane = p;
                    record.outRect = kEmptyRect;
                    record.outLoPlane = record.outHiPlane = 0;
                } else {
                    record.outRect = ToRect(tile);
                    record.outLoPlane = record.outHiPlane = p;
                    record.inRect = kEmptyRect;
                    record.inLoPlane = record.inHiPlane = 0;
                }
                call.result = record.advanceState(&record);
                if (call.result != FILTER_RESULT_OK) {
                    sink.Show(failure);
                    return StatusCode::kFailed;
                }

                std::uint8_t* data =
                    kRead ? static_cast<std::uint8_t*>(const_cast<void*>(record.inData))
                          : static_cast<std::uint8_t*>(record.outData);
                const std::int64_t rowBytes = kRead ? record.inRowBytes : record.outRowBytes;
                const bool usable =
                    data != nullptr &&
                    rowBytes >= std::int64_t{tile.right - tile.left} * sampleBytes &&
                    (sampleBytes == 1 ||
                     (reinterpret_cast<std::uintptr_t>(data) % 2 == 0 && rowBytes % 2 == 0));
                if (!usable) {
                    sink.Show(failure);
                    call.result = FILTER_RESULT_REPORTED;
                    return StatusCode::kFailed;
                }

                if (sampleBytes == 1) {
                    CopyPlane<std::uint8_t, kDirection>(image, tile, plane, data, rowBytes, pool,
                                                        [](std::uint8_t v) { return v; });
                } else if constexpr (kRead) {
                    CopyPlane<std::uint16_t, kDirection>(
                        image, tile, plane, data, rowBytes, pool,
                        [](std::uint16_t v) { return HostToEngineSample(v); });
                } else {
                    CopyPlane<std::uint16_t, kDirection>(
                        image, tile, plane, data, rowBytes, pool,
                        [](std::uint16_t v) { return EngineToHostSample(v); });
                }
            }
        }
    }
    return Status::Ok();
}

Status Refuse(HostCall call, platform::MessageSink& sink, const std::string& text) {
    sink.Show(text);
    call.result = FILTER_RESULT_REPORTED;
    return StatusCode::kFailed;
}

}  // namespace

Status LoadHostImage(HostCall call, CurrentImage& image, BlockAllocator& allocator,
                     engine::WorkerPool& pool, platform::MessageSink& sink) {
    image.Release();
    const FilterRecord& record = call.record;

    // The interface's rectangles are 16-bit: a larger document cannot be
    // addressed tile by tile, and would wrap instead of failing.
    const std::int32_t wholeWidth =
        record.wholeSize.h != 0 ? record.wholeSize.h : record.imageSize.h;
    const std::int32_t wholeHeight =
        record.wholeSize.v != 0 ? record.wholeSize.v : record.imageSize.v;
    if (wholeWidth > kMaxImageSide || wholeHeight > kMaxImageSide) {
        return Refuse(call, sink,
                      "Quillon: the document is " + std::to_string(wholeWidth) + " x " +
                          std::to_string(wholeHeight) + " pixels; at most " +
                          std::to_string(kMaxImageSide) +
                          " pixels per side can be corrected. The document is unchanged.");
    }
    const std::int32_t width = record.imageSize.h;
    const std::int32_t height = record.imageSize.v;
    if (width <= 0 || height <= 0) {
        return Refuse(call, sink, "Quillon: the document has no pixels.");
    }
    if ((record.depth != 8 && record.depth != 16) || record.planes < 3) {
        return Refuse(call, sink,
                      "Quillon: only RGB documents of 8 or 16 bits per channel can be corrected.");
    }

    const std::int32_t bitsPerPixel = record.depth == 16 ? 48 : 24;
    image.input = DescribeImage(width, height, bitsPerPixel, nullptr);
    image.blocks.source = PixelBlock(allocator);
    image.blocks.work = PixelBlock(allocator);
    // A document too large for a size is refused as memory that cannot be had.
    const std::optional<ByteCount> bytes = ImageByteCount(image.input);
    // Each failed block of the host's memory has shown its message and set the
    // result.
    if (!image.blocks.source.Allocate(bytes) || !image.blocks.work.Allocate(bytes)) {
        image.outOfMemory = true;
        image.Release();
        if (call.result == FILTER_RESULT_OK) {  // a size that does not fit, or the process's memory
            sink.Show(text::kAllocMemError2);
            call.result = FILTER_RESULT_OUT_OF_MEMORY;
        }
        return StatusCode::kFailed;
    }
    image.input.pixels = image.blocks.source.data();
    image.output = image.input;
    image.output.pixels = image.blocks.work.data();
    return CopyHostToBuffer(call, image.input, pool, sink);
}

Status CopyHostToBuffer(HostCall call, const ImageBuffer& input, engine::WorkerPool& pool,
                        platform::MessageSink& sink) {
    return Transfer<Direction::kRead>(call, input, pool, sink);
}

Status CopyBufferToHost(HostCall call, const ImageBuffer& output, engine::WorkerPool& pool,
                        platform::MessageSink& sink) {
    return Transfer<Direction::kWrite>(call, output, pool, sink);
}

}  // namespace quillon::plugin
