#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "base/byte_count.h"

// The image record shared by the whole system: interleaved RGB, 8 bits (24 bits
// per pixel) or 16 bits (48 bits per pixel, native byte order, 0..65535), rows
// without padding. An ImageBuffer describes pixels it does not own; the pixel
// block belongs to whoever allocated it (a PixelBlock in the program state or
// the plug-in), and several descriptions may name the same block.

namespace quillon {

// Sides above this are refused everywhere: coordinates and row offsets in the
// engine are computed in 32-bit arithmetic in places, and no camera comes close.
inline constexpr std::int32_t kMaxImageSide = 32767;

// Polynomial radial scale s(r) = c0 + c1 r + c2 r^2 + c3 r^3 for one colour channel,
// with the normalised radius at and beyond which a point falls outside the image.
struct RadialTerms {
    double c0 = 1.0;
    double c1 = 0.0;
    double c2 = 0.0;
    double c3 = 0.0;
    double limit = 1000.0;
};

// Parameters of one lens-correction run; index 0 red, 1 green, 2 blue.
struct LensCorrectionRequest {
    int radialEnabled = 0;
    std::array<RadialTerms, 3> radial{};
    int verticalEnabled = 0;
    std::array<double, 3> verticalShift{};
    int horizontalEnabled = 0;
    std::array<double, 3> horizontalShift{};
    int resizeEnabled = 0;
    std::int32_t newWidth = 0;
    std::int32_t newHeight = 0;
};

struct ImageBuffer {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int64_t rowBytes = 0;
    std::int32_t bitsPerPixel = 0;
    std::int64_t dataSize = 0;
    std::uint8_t* pixels = nullptr;  // not owned

    // Only the fisheye conversion reads these (degrees).
    double hfov = 0.0;
    double yaw = 0.0;
    double pitch = 0.0;
    double roll = 0.0;
    // Only the fisheye conversion reads these, for chromatic aberration.
    LensCorrectionRequest lens{};

    int BytesPerPixel() const { return bitsPerPixel / 8; }
    std::uint8_t* Row(std::int32_t y) const {
        return pixels + static_cast<std::int64_t>(y) * rowBytes;
    }
};

// Fills the geometry fields for a width x height image of the given depth
// (24 or 48 bits per pixel) and points it at `pixels`. Everything else is reset.
inline ImageBuffer DescribeImage(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                                 std::uint8_t* pixels) {
    ImageBuffer image;
    image.width = width;
    image.height = height;
    image.bitsPerPixel = bitsPerPixel;
    image.rowBytes = static_cast<std::int64_t>(width) * (bitsPerPixel / 8);
    image.dataSize = image.rowBytes * height;
    image.pixels = pixels;
    return image;
}

// The bytes of `image`'s rows, or nothing when they do not fit in a size.
inline std::optional<ByteCount> ImageByteCount(const ImageBuffer& image) {
    return ByteCount::Of(image.rowBytes, image.height);
}

// Whether `image` describes a geometry the system works on: 24 or 48 bits per
// pixel, sides of 1 to kMaxImageSide, rows without padding and a data size
// that covers them. The pixels are not looked at.
inline bool IsUsableGeometry(const ImageBuffer& image) {
    if (image.bitsPerPixel != 24 && image.bitsPerPixel != 48) return false;
    if (image.width < 1 || image.height < 1 || image.width > kMaxImageSide ||
        image.height > kMaxImageSide) {
        return false;
    }
    const std::int64_t rowBytes = static_cast<std::int64_t>(image.width) * image.BytesPerPixel();
    return image.rowBytes == rowBytes && image.dataSize >= rowBytes * image.height;
}

// The same, with pixels to work on: what the engine corrects and the writers
// write.
inline bool IsUsableImage(const ImageBuffer& image) {
    return image.pixels != nullptr && IsUsableGeometry(image);
}

}  // namespace quillon
