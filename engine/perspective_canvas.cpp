#include "engine/perspective_canvas.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace quillon::engine {
namespace {

// Limits the shift of the window to the margin `margin`, and the setting with
// it. The window of the limiting run lies at the margin itself; the limited
// setting may name a window a pixel short of it (it is truncated).
std::int32_t ShiftInPixels(std::int32_t side, std::int32_t margin, std::int32_t& setting,
                           bool& limited) {
    if (side <= 0) return 0;
    const std::int64_t shift = static_cast<std::int64_t>(side) * setting / 300;
    if (shift > margin) {
        setting = static_cast<std::int32_t>(static_cast<std::int64_t>(margin) * 300 / side);
        limited = true;
        return margin;
    }
    if (shift < -margin) {
        setting = static_cast<std::int32_t>(-static_cast<std::int64_t>(margin) * 300 / side);
        limited = true;
        return -margin;
    }
    return static_cast<std::int32_t>(shift);
}

}  // namespace

std::int32_t CanvasSide(std::int32_t imageSide) {
    return static_cast<std::int32_t>(imageSide * kCanvasFactor);
}

ImageBuffer DescribeCanvas(const ImageBuffer& image, std::uint8_t* pixels) {
    ImageBuffer canvas = image;
    canvas.width = CanvasSide(image.width);
    canvas.height = CanvasSide(image.height);
    canvas.rowBytes = static_cast<std::int64_t>(canvas.width) * image.BytesPerPixel();
    canvas.dataSize = canvas.rowBytes * canvas.height;
    canvas.pixels = pixels;
    return canvas;
}

void PlaceOnCanvas(const ImageBuffer& canvas, const ImageBuffer& image) {
    const std::int32_t c = (canvas.width - image.width) / 2;
    const std::int32_t d = (canvas.height - image.height) / 2;
    const std::int64_t bpp = image.BytesPerPixel();
    const std::int64_t leftBytes = c * bpp;
    const std::int64_t rightBytes = (canvas.width - image.width - c) * bpp;
    const auto imageRowBytes = static_cast<std::size_t>(image.width * bpp);
    // The canvas row of image row k starts at or after the image row itself, so
    // moving from the last row upward never overwrites a row still to be read.
    for (std::int32_t k = image.height - 1; k >= 0; --k) {
        std::memmove(canvas.Row(d + k) + leftBytes, image.Row(k), imageRowBytes);
    }
    for (std::int32_t y = 0; y < d; ++y) {
        std::memset(canvas.Row(y), 0, static_cast<std::size_t>(canvas.rowBytes));
    }
    for (std::int32_t y = d; y < d + image.height; ++y) {
        std::uint8_t* row = canvas.Row(y);
        std::memset(row, 0, static_cast<std::size_t>(leftBytes));
        std::memset(row + leftBytes + static_cast<std::int64_t>(imageRowBytes), 0,
                    static_cast<std::size_t>(rightBytes));
    }
    for (std::int32_t y = d + image.height; y < canvas.height; ++y) {
        std::memset(canvas.Row(y), 0, static_cast<std::size_t>(canvas.rowBytes));
    }
}

CropWindow PlanCropWindow(std::int32_t width, std::int32_t height, const ImageBuffer& canvas,
                          CropShifts requested) {
    CropWindow window;
    window.shifts = requested;
    window.shiftX =
        ShiftInPixels(width, (canvas.width - width) / 2, window.shifts.horizontal, window.limited);
    window.shiftY =
        ShiftInPixels(height, (canvas.height - height) / 2, window.shifts.vertical, window.limited);
    return window;
}

void CropToImage(const ImageBuffer& destination, const ImageBuffer& canvas,
                 const CropWindow& window) {
    const std::int32_t c = (canvas.width - destination.width) / 2;
    const std::int32_t d = (canvas.height - destination.height) / 2;
    // A window from elsewhere than PlanCropWindow must not reach past the canvas.
    const std::int32_t fx = std::clamp(window.shiftX, -c, c);
    const std::int32_t fy = std::clamp(window.shiftY, -d, d);
    const std::int64_t bpp = destination.BytesPerPixel();
    const auto rowBytes = static_cast<std::size_t>(destination.width * bpp);
    // Rows are read at or after where they are written when both name one
    // block, so a forward pass with memmove is safe.
    for (std::int32_t k = 0; k < destination.height; ++k) {
        std::memmove(destination.Row(k), canvas.Row(d - fy + k) + (c - fx) * bpp, rowBytes);
    }
}

}  // namespace quillon::engine
