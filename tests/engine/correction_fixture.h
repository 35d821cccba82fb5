#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/image_buffer.h"

// Owned test images for the correction tests: a byte vector plus the engine's
// description of it, with sample accessors for both depths.

namespace quillon::engine::testing {

struct TestImage {
    std::vector<std::uint8_t> bytes;
    ImageBuffer image;

    // `capacityFactor` reserves room beyond the image for canvases that reuse the
    // block (16/9 of the image and a little).
    TestImage(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel = 24,
              double capacityFactor = 1.0) {
        const auto size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
                          static_cast<std::size_t>(bitsPerPixel / 8);
        bytes.assign(static_cast<std::size_t>(static_cast<double>(size) * capacityFactor) + 64, 0);
        image = DescribeImage(width, height, bitsPerPixel, bytes.data());
    }

    int Get(std::int32_t x, std::int32_t y, int channel) const {
        const std::uint8_t* p = image.Row(y) + static_cast<std::int64_t>(x) * image.BytesPerPixel();
        if (image.bitsPerPixel == 24) return p[channel];
        std::uint16_t v;
        std::memcpy(&v, p + 2 * channel, 2);
        return v;
    }
    void Set(std::int32_t x, std::int32_t y, int channel, int value) {
        std::uint8_t* p = image.Row(y) + static_cast<std::int64_t>(x) * image.BytesPerPixel();
        if (image.bitsPerPixel == 24) {
            p[channel] = static_cast<std::uint8_t>(value);
        } else {
            const auto v = static_cast<std::uint16_t>(value);
            std::memcpy(p + 2 * channel, &v, 2);
        }
    }
    void SetPixel(std::int32_t x, std::int32_t y, int r, int g, int b) {
        Set(x, y, 0, r);
        Set(x, y, 1, g);
        Set(x, y, 2, b);
    }
    void Fill(int value) {
        for (std::int32_t y = 0; y < image.height; ++y)
            for (std::int32_t x = 0; x < image.width; ++x) SetPixel(x, y, value, value, value);
    }
    // The image's own pixels only (not the reserve).
    std::vector<std::uint8_t> Pixels() const {
        return {bytes.begin(), bytes.begin() + image.dataSize};
    }
};

}  // namespace quillon::engine::testing
