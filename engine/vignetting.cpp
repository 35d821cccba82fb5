#include "engine/vignetting.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace quillon::engine {
namespace {

// Samples are multiplied by a gain of at most 4; truncation then clamping keeps
// the documented "256 and more give 255" behaviour.
inline void Scale8(std::uint8_t* pixel, double gain) {
    for (int c = 0; c < 3; ++c) {
        const double v = pixel[c] * gain;
        pixel[c] = v >= 255.0 ? std::uint8_t{255} : static_cast<std::uint8_t>(v);
    }
}

// 16-bit samples are native-order words in a byte block: memcpy keeps the
// access free of alignment and aliasing assumptions, and compiles to a move.
inline void Scale16(std::uint8_t* pixel, double gain) {
    std::uint16_t samples[3];
    std::memcpy(samples, pixel, sizeof samples);
    for (std::uint16_t& s : samples) {
        const double v = s * gain;
        s = v >= 65535.0 ? std::uint16_t{65535} : static_cast<std::uint16_t>(v);
    }
    std::memcpy(pixel, samples, sizeof samples);
}

inline void ScalePixel(std::uint8_t* row, std::int32_t column, int bytesPerPixel, double gain) {
    std::uint8_t* pixel = row + static_cast<std::int64_t>(column) * bytesPerPixel;
    if (bytesPerPixel == 3) {
        Scale8(pixel, gain);
    } else {
        Scale16(pixel, gain);
    }
}

bool SupportedDepth(const ImageBuffer& image) {
    return image.bitsPerPixel == 24 || image.bitsPerPixel == 48;
}

}  // namespace

VignettingConstants MakeVignettingConstants(std::int32_t width, std::int32_t height, int vigAmount,
                                            int vigMidpoint) {
    VignettingConstants k;
    const std::int64_t squaredDiagonal =
        static_cast<std::int64_t>(width) * width + static_cast<std::int64_t>(height) * height;
    k.radius = 0.5 * std::sqrt(static_cast<double>(squaredDiagonal));
    // A 0 x 0 image has no pixels to visit; keep the reciprocal finite anyway.
    k.inverseRadius = k.radius > 0.0 ? 1.0 / k.radius : 0.0;
    const double amount = 0.0075 * vigAmount;
    k.base = 1.0 - amount;
    k.steepness = 1.0 + 0.07 * vigMidpoint;
    k.slope = amount / std::tanh(k.steepness);
    k.halfWidth = width / 2;
    k.halfHeight = height / 2;
    return k;
}

double VignettingGain(const VignettingConstants& k, double distance) {
    const double divisor =
        std::tanh((k.radius - distance) * k.inverseRadius * k.steepness) * k.slope + k.base;
    return 1.0 / divisor;
}

void VignetteQuadrantRows(const ImageBuffer& image, const VignettingConstants& k,
                          std::int32_t firstRow, std::int32_t endRow) {
    if (!SupportedDepth(image)) return;
    const int bpp = image.BytesPerPixel();
    const std::int32_t w = image.width;
    const std::int32_t h = image.height;
    for (std::int32_t i = firstRow; i < endRow && i < k.halfHeight; ++i) {
        std::uint8_t* top = image.Row(i);
        std::uint8_t* bottom = image.Row(h - 1 - i);
        const double dy = static_cast<double>(k.halfHeight - i);
        for (std::int32_t j = 0; j < k.halfWidth; ++j) {
            const double dx = static_cast<double>(k.halfWidth - j);
            const double gain = VignettingGain(k, std::sqrt(dx * dx + dy * dy));
            ScalePixel(top, j, bpp, gain);
            ScalePixel(top, w - 1 - j, bpp, gain);
            ScalePixel(bottom, j, bpp, gain);
            ScalePixel(bottom, w - 1 - j, bpp, gain);
        }
    }
}

void VignetteCentreLines(const ImageBuffer& image, const VignettingConstants& k) {
    if (!SupportedDepth(image)) return;
    const int bpp = image.BytesPerPixel();
    const std::int32_t w = image.width;
    const std::int32_t h = image.height;
    if (w % 2 == 1) {
        for (std::int32_t i = 0; i < k.halfHeight; ++i) {
            const double gain = VignettingGain(k, static_cast<double>(k.halfHeight - i));
            ScalePixel(image.Row(i), k.halfWidth, bpp, gain);
            ScalePixel(image.Row(h - 1 - i), k.halfWidth, bpp, gain);
        }
    }
    if (h % 2 == 1) {
        std::uint8_t* row = image.Row(k.halfHeight);
        for (std::int32_t j = 0; j < k.halfWidth; ++j) {
            const double gain = VignettingGain(k, static_cast<double>(k.halfWidth - j));
            ScalePixel(row, j, bpp, gain);
            ScalePixel(row, w - 1 - j, bpp, gain);
        }
    }
}

void ApplyVignetting(const ImageBuffer& image, const CorrectionSettings& settings, WorkerPool& pool,
                     WorkProgress* progress) {
    if (!SupportedDepth(image) || image.pixels == nullptr || image.width <= 0 ||
        image.height <= 0) {
        return;
    }
    const VignettingConstants constants = MakeVignettingConstants(
        image.width, image.height, settings.VigAmount, settings.VigMidpoint);
    if (progress != nullptr) progress->BeginStage(constants.halfHeight);
    const auto band = [&image, &constants, progress](std::int32_t firstRow, std::int32_t endRow) {
        VignetteQuadrantRows(image, constants, firstRow, endRow);
        if (progress != nullptr) progress->AddRows(endRow - firstRow);
        return Status::Ok();
    };
    // Bands never fail, so the fan-out's status carries nothing.
    (void)FanOutBands(pool, constants.halfHeight, band);
    VignetteCentreLines(image, constants);
}

}  // namespace quillon::engine
