#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "base/image_buffer.h"
#include "engine/remap.h"
#include "engine/worker_pool.h"
#include "platform/message_sink.h"

// Shared by the engine tests: images that own their pixels, a pool with a
// capturing sink, and a plain reference implementation of the resampling rule.

namespace quillon::engine::testing {

// An image that owns its pixels. Samples are addressed as (x, y, channel) in
// either depth. `capacityFactor` reserves room beyond the image, for canvases
// that reuse its block.
class TestImage {
  public:
    TestImage(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel = 24,
              double capacityFactor = 1.0)
        : bytes_(static_cast<std::size_t>(
              static_cast<double>(static_cast<std::size_t>(width) *
                                  static_cast<std::size_t>(height) *
                                  static_cast<std::size_t>(bitsPerPixel / 8)) *
              capacityFactor)) {
        buffer_ = DescribeImage(width, height, bitsPerPixel, bytes_.data());
    }
    TestImage(const TestImage& other) : bytes_(other.bytes_), buffer_(other.buffer_) {
        buffer_.pixels = bytes_.data();
    }
    TestImage& operator=(const TestImage&) = delete;

    const ImageBuffer& buffer() const { return buffer_; }
    ImageBuffer& buffer() { return buffer_; }
    std::int32_t width() const { return buffer_.width; }
    std::int32_t height() const { return buffer_.height; }
    bool sixteen() const { return buffer_.bitsPerPixel == 48; }
    // The whole block: the pixels, then the reserved room.
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::uint8_t* data() { return bytes_.data(); }
    // The pixels alone.
    std::vector<std::uint8_t> Pixels() const {
        return {buffer_.pixels, buffer_.pixels + buffer_.dataSize};
    }

    std::uint32_t At(std::int32_t x, std::int32_t y, int c) const {
        const std::size_t i = Index(x, y, c);
        if (!sixteen()) return bytes_[i];
        std::uint16_t v;
        std::memcpy(&v, &bytes_[2 * i], 2);
        return v;
    }
    int Get(std::int32_t x, std::int32_t y, int c) const { return static_cast<int>(At(x, y, c)); }
    void Set(std::int32_t x, std::int32_t y, int c, std::uint32_t value) {
        const std::size_t i = Index(x, y, c);
        if (!sixteen()) {
            bytes_[i] = static_cast<std::uint8_t>(value);
            return;
        }
        const auto v = static_cast<std::uint16_t>(value);
        std::memcpy(&bytes_[2 * i], &v, 2);
    }
    void SetPixel(std::int32_t x, std::int32_t y, int r, int g, int b) {
        Set(x, y, 0, static_cast<std::uint32_t>(r));
        Set(x, y, 1, static_cast<std::uint32_t>(g));
        Set(x, y, 2, static_cast<std::uint32_t>(b));
    }
    void Fill(const std::function<std::uint32_t(std::int32_t, std::int32_t, int)>& value) {
        for (std::int32_t y = 0; y < height(); ++y) {
            for (std::int32_t x = 0; x < width(); ++x) {
                for (int c = 0; c < 3; ++c) Set(x, y, c, value(x, y, c));
            }
        }
    }
    void Fill(int value) {
        Fill(
            [value](std::int32_t, std::int32_t, int) { return static_cast<std::uint32_t>(value); });
    }

  private:
    std::size_t Index(std::int32_t x, std::int32_t y, int c) const {
        return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width()) +
                static_cast<std::size_t>(x)) *
                   3 +
               static_cast<std::size_t>(c);
    }

    std::vector<std::uint8_t> bytes_;
    ImageBuffer buffer_;
};

// Sample values that tell every position and channel apart (8-bit: as far as
// 256 levels allow), so a sample taken from the wrong place shows.
inline std::uint32_t PositionValue(std::int32_t x, std::int32_t y, int c, bool sixteen) {
    if (sixteen) return static_cast<std::uint32_t>((x + 181 * y) * 3 + c) % 65536u;
    return static_cast<std::uint32_t>(x * 29 + y * 71 + c * 101 + 7) % 256u;
}

inline TestImage PositionImage(std::int32_t width, std::int32_t height, std::int32_t bits) {
    TestImage image(width, height, bits);
    const bool sixteen = bits == 48;
    image.Fill(
        [&](std::int32_t x, std::int32_t y, int c) { return PositionValue(x, y, c, sixteen); });
    return image;
}

// Pseudo-random but photo-like content: smooth gradients, edges and noise.
inline TestImage NoisyImage(std::int32_t width, std::int32_t height, std::int32_t bits,
                            std::uint32_t seed) {
    TestImage image(width, height, bits);
    const double top = bits == 48 ? 65535.0 : 255.0;
    std::uint32_t state = seed;
    image.Fill([&](std::int32_t x, std::int32_t y, int c) {
        state = state * 1664525u + 1013904223u;
        const double noise = (state >> 8) / 16777216.0;
        double v = 0.5 + 0.4 * std::sin(x * 0.21 + c) * std::cos(y * 0.13) + 0.2 * (noise - 0.5);
        if ((x / 7 + y / 5) % 3 == 0) v = 1.0 - v;  // hard edges
        v = std::fmin(std::fmax(v, 0.0), 1.0);
        return static_cast<std::uint32_t>(v * top + 0.5);
    });
    return image;
}

// A pool of `processors` threads (counting the caller) with a capturing sink.
struct Engine {
    explicit Engine(std::int32_t processors = 2) {
        std::int32_t p = processors;
        created = CreateWorkerPool(pool, p, sink).ok();
    }
    EngineContext Context() { return EngineContext{pool, sink}; }

    platform::CapturingSink sink;
    WorkerPool pool;
    bool created = false;
};

// The resampling rule written out plainly, in double precision, from its
// description: kernel by its two polynomials, block clamped at the borders,
// rows weighted across their columns, then the conversion through a table
// built the long way. The source positions come from ComputeSourceRow, which
// has its own test against the exact mapping.
inline double ReferenceKernel(double t) {
    if (t <= 1.0) return 1.25 * t * t * t - 2.25 * t * t + 1.0;
    return -0.75 * t * t * t + 3.75 * t * t - 6.0 * t + 3.0;
}

inline std::uint32_t ReferenceConvert(double value, bool sixteen) {
    const std::int64_t levels = sixteen ? 65536 : 256;
    const std::int64_t steps = sixteen ? 4 : 16;
    const double scaled = value * static_cast<double>(steps);
    const auto q = static_cast<std::int64_t>(std::trunc(scaled));
    if (q < 0) return 0;
    if (q > levels * steps - 1) return static_cast<std::uint32_t>(levels - 1);
    if (q == 0) return 0;
    const double level = static_cast<double>(q) / static_cast<double>(steps);
    if (level > static_cast<double>(levels - 1)) return static_cast<std::uint32_t>(levels - 1);
    return static_cast<std::uint32_t>(std::floor(level + 0.5));
}

inline void ReferenceRemap(const TestImage& source, TestImage& destination,
                           const TransformStack& stack, ChannelPass pass) {
    const RemapGeometry g{source.width(), source.height(), destination.width(),
                          destination.height()};
    const auto capacity = static_cast<std::size_t>(SourceRowCapacity(g.destinationWidth));
    std::vector<double> xs(capacity), ys(capacity);
    std::vector<std::uint8_t> valid(capacity);
    for (std::int32_t row = 0; row < g.destinationHeight; ++row) {
        ComputeSourceRow(stack, g, row, xs.data(), ys.data(), valid.data());
        for (std::int32_t j = 0; j < g.destinationWidth; ++j) {
            const auto uj = static_cast<std::size_t>(j);
            for (int c = 0; c < 3; ++c) {
                if (!PassWritesChannel(pass, c)) continue;
                if (!valid[uj]) {
                    destination.Set(j, row, c, 0);
                    continue;
                }
                const double fx0 = std::floor(xs[uj]);
                const double fy0 = std::floor(ys[uj]);
                const double fx = xs[uj] - fx0;
                const double fy = ys[uj] - fy0;
                const double wx[4] = {ReferenceKernel(1 + fx), ReferenceKernel(fx),
                                      ReferenceKernel(1 - fx), ReferenceKernel(2 - fx)};
                const double wy[4] = {ReferenceKernel(1 + fy), ReferenceKernel(fy),
                                      ReferenceKernel(1 - fy), ReferenceKernel(2 - fy)};
                double sum = 0.0;
                for (int r = 0; r < 4; ++r) {
                    const auto sy = static_cast<std::int32_t>(
                        std::fmin(std::fmax(fy0 - 1 + r, 0.0), source.height() - 1.0));
                    double rowSum = 0.0;
                    for (int k = 0; k < 4; ++k) {
                        const auto sx = static_cast<std::int32_t>(
                            std::fmin(std::fmax(fx0 - 1 + k, 0.0), source.width() - 1.0));
                        rowSum += wx[k] * source.At(sx, sy, c);
                    }
                    sum += wy[r] * rowSum;
                }
                destination.Set(j, row, c, ReferenceConvert(sum, source.sixteen()));
            }
        }
    }
}

}  // namespace quillon::engine::testing
