#include "preview/display_image.h"

#include <cstring>
#include <optional>

namespace quillon::preview {

Rgb RgbFromColourValue(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(bits & 0xff), static_cast<std::uint8_t>((bits >> 8) & 0xff),
            static_cast<std::uint8_t>((bits >> 16) & 0xff)};
}

std::int64_t DisplayImage::StrideFor(std::int32_t width) {
    return (static_cast<std::int64_t>(width) * 3 + 3) & ~std::int64_t{3};
}

bool DisplayImage::Allocate(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) {
        Release();
        return false;
    }
    const std::int64_t stride = StrideFor(width);
    const std::optional<ByteCount> bytes = ByteCount::Of(stride, height);
    if (!bytes || (block_.size() < bytes->value() && !block_.Allocate(*bytes))) {
        Release();
        return false;
    }
    width_ = width;
    height_ = height;
    stride_ = stride;
    return true;
}

void DisplayImage::Release() {
    block_.Release();
    width_ = 0;
    height_ = 0;
    stride_ = 0;
}

void CopyToDisplay(const ImageBuffer& image, DisplayImage& display) {
    const auto rowBytes = static_cast<std::size_t>(display.width()) * 3;
    const auto padding = static_cast<std::size_t>(display.stride()) - rowBytes;
    for (std::int32_t y = 0; y < display.height(); ++y) {
        std::uint8_t* out = display.Row(y);
        const std::uint8_t* in = image.Row(y);
        if (image.bitsPerPixel == 24) {
            std::memcpy(out, in, rowBytes);
        } else {
            const auto* samples = reinterpret_cast<const std::uint16_t*>(in);
            for (std::size_t i = 0; i < rowBytes; ++i) {
                out[i] = static_cast<std::uint8_t>(samples[i] >> 8);
            }
        }
        std::memset(out + rowBytes, 0, padding);
    }
}

}  // namespace quillon::preview
