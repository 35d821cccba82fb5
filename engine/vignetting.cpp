#include "engine/vignetting.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace quillon::engine {
namespace {

// Samples are multiplied by a gain of at most 4; truncation then clamping keeps
// the documented "256 and more give 255" behaviour. Values outside the window's
// ranges (the plug-in's recorded parameters) can make the gain negative or not
// a number; such samples become 0 rather than an undefined conversion.
inline void Scale8(const std::uint8_t* in, std::uint8_t* out, double gain) {
    for (int c = 0; c < 3; ++c) {
        const double v = in[c] * gain;
        out[c] = v >= 255.0 ? std::uint8_t{255}
                 : v > 0.0  ? static_cast<std::uint8_t>(v)
                            : std::uint8_t{0};
    }
}

// 16-bit samples are native-order words in a byte block: memcpy keeps the
// access free of alignment and aliasing assumptions, and compiles to a move.
inline void Scale16(const std::uint8_t* in, std::uint8_t* out, double gain) {
    std::uint16_t samples[3];
    std::memcpy(samples, in, sizeof samples);
    for (std::uint16_t& s : samples) {
        const double v = s * gain;
        s = v >= 65535.0 ? std::uint16_t{65535}
            : v > 0.0    ? static_cast<std::uint16_t>(v)
                         : std::uint16_t{0};
    }
    std::memcpy(out, samples, sizeof samples);
}

// One row of the source and the same row of the destination (the same row
// when the image is corrected in place).
struct RowPair {
    const std::uint8_t* in;
    std::uint8_t* out;
};

inline RowPair Rows(const ImageBuffer& source, const ImageBuffer& destination, std::int32_t y) {
    return {source.Row(y), destination.Row(y)};
}

inline void ScalePixel(RowPair row, std::int32_t column, int bytesPerPixel, double gain) {
    const std::int64_t offset = static_cast<std::int64_t>(column) * bytesPerPixel;
    if (bytesPerPixel == 3) {
        Scale8(row.in + offset, row.out + offset, gain);
    } else {
        Scale16(row.in + offset, row.out + offset, gain);
    }
}

bool SupportedDepth(const ImageBuffer& image) {
    return image.bitsPerPixel == 24 || image.bitsPerPixel == 48;
}

bool SameGeometry(const ImageBuffer& a, const ImageBuffer& b) {
    return a.width == b.width && a.height == b.height && a.bitsPerPixel == b.bitsPerPixel &&
           a.rowBytes == b.rowBytes;
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

void VignetteQuadrantRows(const ImageBuffer& source, const ImageBuffer& destination,
                          const VignettingConstants& k, std::int32_t firstRow,
                          std::int32_t endRow) {
    if (!SupportedDepth(source) || !SameGeometry(source, destination)) return;
    const int bpp = source.BytesPerPixel();
    const std::int32_t w = source.width;
    const std::int32_t h = source.height;
    for (std::int32_t i = firstRow; i < endRow && i < k.halfHeight; ++i) {
        const RowPair top = Rows(source, destination, i);
        const RowPair bottom = Rows(source, destination, h - 1 - i);
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

void VignetteCentreLines(const ImageBuffer& source, const ImageBuffer& destination,
                         const VignettingConstants& k) {
    if (!SupportedDepth(source) || !SameGeometry(source, destination)) return;
    const int bpp = source.BytesPerPixel();
    const std::int32_t w = source.width;
    const std::int32_t h = source.height;
    if (w % 2 == 1) {
        for (std::int32_t i = 0; i < k.halfHeight; ++i) {
            const double gain = VignettingGain(k, static_cast<double>(k.halfHeight - i));
            ScalePixel(Rows(source, destination, i), k.halfWidth, bpp, gain);
            ScalePixel(Rows(source, destination, h - 1 - i), k.halfWidth, bpp, gain);
        }
    }
    if (h % 2 == 1) {
        const RowPair row = Rows(source, destination, k.halfHeight);
        for (std::int32_t j = 0; j < k.halfWidth; ++j) {
            const double gain = VignettingGain(k, static_cast<double>(k.halfWidth - j));
            ScalePixel(row, j, bpp, gain);
            ScalePixel(row, w - 1 - j, bpp, gain);
        }
        // The centre pixel of an odd-sized image keeps its value; written out
        // of place it has to be carried over.
        if (w % 2 == 1 && row.in != row.out) {
            const std::int64_t offset = static_cast<std::int64_t>(k.halfWidth) * bpp;
            std::memcpy(row.out + offset, row.in + offset, static_cast<std::size_t>(bpp));
        }
    }
}

void ApplyVignetting(const ImageBuffer& source, const ImageBuffer& destination,
                     const CorrectionSettings& settings, WorkerPool& pool, WorkProgress* progress) {
    if (!SupportedDepth(source) || !SameGeometry(source, destination) || source.pixels == nullptr ||
        destination.pixels == nullptr || source.width <= 0 || source.height <= 0) {
        return;
    }
    const VignettingConstants constants = MakeVignettingConstants(
        source.width, source.height, settings.VigAmount, settings.VigMidpoint);
    if (progress != nullptr) progress->BeginStage(constants.halfHeight);
    const auto band = [&](std::int32_t firstRow, std::int32_t endRow) {
        VignetteQuadrantRows(source, destination, constants, firstRow, endRow);
        if (progress != nullptr) progress->AddRows(endRow - firstRow);
        return Status::Ok();
    };
    // Bands never fail, so the fan-out's status carries nothing.
    (void)FanOutBands(pool, constants.halfHeight, band);
    VignetteCentreLines(source, destination, constants);
}

void ApplyVignetting(const ImageBuffer& image, const CorrectionSettings& settings,
                     WorkerPool& pool) {
    ApplyVignetting(image, image, settings, pool);
}

}  // namespace quillon::engine
