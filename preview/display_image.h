#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "base/pixel_block.h"

// What the window shows: 8-bit RGB, rows top-down, each row padded to a
// multiple of 4 bytes so a toolkit image can wrap the buffer without copying
// it (a QImage of Format_RGB888 over data(), width(), height(), stride()).
// The buffer is kept when a new size fits in it, so re-rendering at the same
// size never allocates.

namespace quillon::preview {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;

    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A stored colour value keeps red in its lowest byte, then green, then blue.
Rgb RgbFromColourValue(std::int32_t value);

class DisplayImage {
  public:
    // Sets the size, reusing the buffer when it is large enough. False (and an
    // empty image) when the memory cannot be had or a side is not positive.
    [[nodiscard]] bool Allocate(std::int32_t width, std::int32_t height);
    void Release();

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    std::int64_t stride() const { return stride_; }
    bool empty() const { return width_ == 0; }
    std::uint8_t* data() { return block_.data(); }
    const std::uint8_t* data() const { return block_.data(); }
    std::uint8_t* Row(std::int32_t y) { return block_.data() + y * stride_; }
    const std::uint8_t* Row(std::int32_t y) const { return block_.data() + y * stride_; }

    // Bytes per row for a width: 3 per pixel rounded up to a multiple of 4.
    static std::int64_t StrideFor(std::int32_t width);

  private:
    PixelBlock block_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int64_t stride_ = 0;
};

// Copies `image` (8 or 16 bits per sample, same size as `display`) into the
// display image; 16-bit samples keep their high byte. Padding bytes become 0.
void CopyToDisplay(const ImageBuffer& image, DisplayImage& display);

}  // namespace quillon::preview
