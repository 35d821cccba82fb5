#include "preview/upright.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

namespace quillon::preview {

namespace {

// Quarter turns read the source down its columns; going through tiles keeps
// both the rows read and the rows written in the cache.
constexpr std::int32_t kTile = 64;

// Destination pixel (x, y) of a turned image takes source pixel Source(x, y).
struct SourceOf {
    int orientation;
    std::int32_t width;   // of the source
    std::int32_t height;  // of the source

    std::pair<std::int32_t, std::int32_t> operator()(std::int32_t x, std::int32_t y) const {
        switch (orientation) {
            case kTurnClockwise:
                return {y, height - 1 - x};
            case kTurnCounterClockwise:
                return {width - 1 - y, x};
            default:
                return {width - 1 - x, height - 1 - y};
        }
    }
};

template <std::int64_t kPixelBytes>
void TurnTiles(const ImageBuffer& from, const ImageBuffer& to, int orientation) {
    const SourceOf source{orientation, from.width, from.height};
    for (std::int32_t y0 = 0; y0 < to.height; y0 += kTile) {
        const std::int32_t y1 = std::min(y0 + kTile, to.height);
        for (std::int32_t x0 = 0; x0 < to.width; x0 += kTile) {
            const std::int32_t x1 = std::min(x0 + kTile, to.width);
            for (std::int32_t y = y0; y < y1; ++y) {
                std::uint8_t* out = to.Row(y) + static_cast<std::int64_t>(x0) * kPixelBytes;
                for (std::int32_t x = x0; x < x1; ++x, out += kPixelBytes) {
                    const auto [sx, sy] = source(x, y);
                    std::memcpy(out, from.Row(sy) + static_cast<std::int64_t>(sx) * kPixelBytes,
                                static_cast<std::size_t>(kPixelBytes));
                }
            }
        }
    }
}

}  // namespace

bool TurnsPixels(int orientation) {
    return orientation == kTurn180 || orientation == kTurnClockwise ||
           orientation == kTurnCounterClockwise;
}

void TurnedSize(int orientation, std::int32_t& width, std::int32_t& height) {
    if (orientation == kTurnClockwise || orientation == kTurnCounterClockwise) {
        std::swap(width, height);
    }
}

void TurnPixels(const ImageBuffer& from, const ImageBuffer& to, int orientation) {
    if (from.bitsPerPixel == 48) {
        TurnTiles<6>(from, to, orientation);
    } else {
        TurnTiles<3>(from, to, orientation);
    }
}

bool TurnImage(CurrentImage& image, int orientation) {
    ImageBuffer& input = image.input;
    if (!TurnsPixels(orientation) || input.pixels == nullptr) return false;
    std::int32_t width = input.width;
    std::int32_t height = input.height;
    TurnedSize(orientation, width, height);
    ImageBuffer turned = DescribeImage(width, height, input.bitsPerPixel, nullptr);
    const std::optional<ByteCount> count = ImageByteCount(turned);
    if (!count) return false;
    const std::size_t bytes = count->value();

    ImageBlocks& blocks = image.blocks;
    const bool swapBlocks = input.pixels == blocks.source.data() && blocks.work.size() >= bytes &&
                            image.output.pixels == blocks.work.data();
    if (swapBlocks) {
        // The work block takes the turned pixels and becomes the source block:
        // nothing is copied twice and nothing allocated.
        turned.pixels = blocks.work.data();
        TurnPixels(input, turned, orientation);
        std::swap(blocks.source, blocks.work);
    } else {
        PixelBlock temporary(blocks.source.allocator());
        if (!temporary.Allocate(*count)) return false;
        turned.pixels = temporary.data();
        TurnPixels(input, turned, orientation);
        std::memcpy(input.pixels, turned.pixels, bytes);
        turned.pixels = input.pixels;
    }
    // Everything else the descriptions carry (data sizes included) stays.
    const auto reshape = [&](ImageBuffer& buffer, std::uint8_t* pixels) {
        buffer.width = turned.width;
        buffer.height = turned.height;
        buffer.rowBytes = turned.rowBytes;
        buffer.pixels = pixels;
    };
    reshape(input, turned.pixels);
    if (image.output.pixels != nullptr) {
        reshape(image.output, swapBlocks ? blocks.work.data() : image.output.pixels);
    }
    return true;
}

}  // namespace quillon::preview
