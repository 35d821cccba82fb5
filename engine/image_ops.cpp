#include "engine/image_ops.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "base/pixel_block.h"
#include "engine/lens_correction.h"
#include "text/memory_messages.h"

namespace quillon::engine {

Status CheckImageGeometry(const ImageBuffer& image, platform::MessageSink& sink) {
    if (image.bitsPerPixel != 24 && image.bitsPerPixel != 48) return StatusCode::kFailed;
    if (image.width > kMaxImageSide || image.height > kMaxImageSide) {
        sink.Show("Image too large: sides above " + std::to_string(kMaxImageSide) +
                  " pixels cannot be corrected");
        return StatusCode::kFailed;
    }
    return IsUsableGeometry(image) ? Status::Ok() : StatusCode::kFailed;
}

Status CheckImage(const ImageBuffer& image, platform::MessageSink& sink) {
    QUILLON_RETURN_IF_ERROR(CheckImageGeometry(image, sink));
    return image.pixels != nullptr ? Status::Ok() : StatusCode::kFailed;
}

bool PixelsOverlap(const ImageBuffer& a, const ImageBuffer& b) {
    return a.pixels < b.pixels + b.dataSize && b.pixels < a.pixels + a.dataSize;
}

void CopyCentred(const ImageBuffer& source, const ImageBuffer& destination) {
    const auto bytesPerPixel = static_cast<std::size_t>(destination.BytesPerPixel());
    const std::int32_t offsetY = (source.height - destination.height) / 2;
    const std::int32_t offsetX = (source.width - destination.width) / 2;
    // Destination columns [firstX, endX) have a source column.
    const std::int32_t firstX = std::clamp(-offsetX, 0, destination.width);
    const std::int32_t endX = std::clamp(source.width - offsetX, firstX, destination.width);
    auto bytes = [&](std::int32_t pixels) {
        return static_cast<std::size_t>(pixels) * bytesPerPixel;
    };
    for (std::int32_t i = 0; i < destination.height; ++i) {
        std::uint8_t* out = destination.Row(i);
        const std::int32_t sourceRow = i + offsetY;
        if (sourceRow < 0 || sourceRow >= source.height || firstX == endX) {
            std::memset(out, 0, bytes(destination.width));
            continue;
        }
        const std::uint8_t* in = source.Row(sourceRow) + bytes(firstX + offsetX);
        std::memset(out, 0, bytes(firstX));
        std::memmove(out + bytes(firstX), in, bytes(endX - firstX));
        std::memset(out + bytes(endX), 0, bytes(destination.width - endX));
    }
}

std::int32_t PreviewReductionFactor(std::int32_t sourceWidth, std::int32_t sourceHeight,
                                    std::int32_t width, std::int32_t height) {
    for (std::int32_t f = 4; f >= 2; --f) {
        if (sourceWidth % f == 0 && sourceHeight % f == 0 && sourceWidth / f >= width &&
            sourceHeight / f >= height) {
            return f;
        }
    }
    return 1;
}

namespace {

// Each f x f block becomes one pixel, each channel the truncated mean.
void ReduceByBlocks(const ImageBuffer& source, std::int32_t f, const ImageBuffer& reduced) {
    for (std::int32_t i = 0; i < reduced.height; ++i) {
        std::uint8_t* out = reduced.Row(i);
        for (std::int32_t k = 0; k < reduced.width; ++k) {
            std::uint32_t sum[3] = {0, 0, 0};
            for (std::int32_t dy = 0; dy < f; ++dy) {
                const std::uint8_t* in =
                    source.Row(i * f + dy) + static_cast<std::int64_t>(k) * f * 3;
                for (std::int32_t dx = 0; dx < f; ++dx) {
                    for (int c = 0; c < 3; ++c) sum[c] += in[3 * dx + c];
                }
            }
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t mean = f == 4 ? sum[c] >> 4 : f == 3 ? sum[c] / 9 : sum[c] >> 2;
                out[3 * k + c] = static_cast<std::uint8_t>(mean);
            }
        }
    }
}

}  // namespace

Status ReducePreview(const ImageBuffer& source, const ImageBuffer& destination,
                     EngineContext& context) {
    QUILLON_RETURN_IF_ERROR(CheckImage(source, context.sink));
    QUILLON_RETURN_IF_ERROR(CheckImage(destination, context.sink));
    if (source.bitsPerPixel != 24 || destination.bitsPerPixel != 24) return StatusCode::kFailed;

    const std::int32_t f =
        PreviewReductionFactor(source.width, source.height, destination.width, destination.height);
    PixelBlock block;
    ImageBuffer reduced = source;
    if (f > 1) {
        reduced = DescribeImage(source.width / f, source.height / f, 24, nullptr);
        const std::optional<ByteCount> size = ImageByteCount(reduced);
        if (!size || !context.MayAllocate(size->value()) || !block.Allocate(*size)) {
            context.sink.Show(text::kInsufficientMemory);
            return StatusCode::kFailed;
        }
        reduced.pixels = block.data();
        ReduceByBlocks(source, f, reduced);
    }
    LensCorrectionRequest request;
    request.resizeEnabled = 1;
    request.newWidth = destination.width;
    request.newHeight = destination.height;
    return RunLensCorrectionTool(request, reduced, destination, context);
}

}  // namespace quillon::engine
