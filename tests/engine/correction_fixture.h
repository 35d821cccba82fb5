#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/image_buffer.h"
#include "engine/run_correction.h"
#include "engine/worker_pool.h"
#include "platform/message_sink.h"
#include "tests/engine/engine_test_support.h"

// For the correction tests: sample accessors of any image in both depths, a
// whole correction in one call, and an engine with its pool. Images that own
// their pixels are engine_test_support.h's TestImage.

namespace quillon::engine::testing {

inline int Sample(const ImageBuffer& image, std::int32_t x, std::int32_t y, int channel) {
    const std::uint8_t* p = image.Row(y) + static_cast<std::int64_t>(x) * image.BytesPerPixel();
    if (image.bitsPerPixel == 24) return p[channel];
    std::uint16_t v;
    std::memcpy(&v, p + 2 * channel, 2);
    return v;
}

inline void SetSample(const ImageBuffer& image, std::int32_t x, std::int32_t y, int channel,
                      int value) {
    std::uint8_t* p = image.Row(y) + static_cast<std::int64_t>(x) * image.BytesPerPixel();
    if (image.bitsPerPixel == 24) {
        p[channel] = static_cast<std::uint8_t>(value);
    } else {
        const auto v = static_cast<std::uint16_t>(value);
        std::memcpy(p + 2 * channel, &v, 2);
    }
}

inline void SetPixel(const ImageBuffer& image, std::int32_t x, std::int32_t y, int r, int g,
                     int b) {
    SetSample(image, x, y, 0, r);
    SetSample(image, x, y, 1, g);
    SetSample(image, x, y, 2, b);
}

inline void Fill(const ImageBuffer& image, int value) {
    for (std::int32_t y = 0; y < image.height; ++y)
        for (std::int32_t x = 0; x < image.width; ++x) SetPixel(image, x, y, value, value, value);
}

// A deterministic, position-dependent pattern: neighbouring pixels differ, so
// a pixel taken from the wrong place is visible.
inline void FillPattern(const ImageBuffer& image, unsigned seed = 1) {
    std::uint32_t state = seed * 2654435761u + 12345u;
    const std::uint32_t top = image.bitsPerPixel == 24 ? 256u : 65536u;
    for (std::int32_t y = 0; y < image.height; ++y)
        for (std::int32_t x = 0; x < image.width; ++x)
            for (int c = 0; c < 3; ++c) {
                state = state * 1664525u + 1013904223u;
                SetSample(image, x, y, c, static_cast<int>((state >> 8) % top));
            }
}

inline std::vector<std::uint8_t> PixelsOf(const ImageBuffer& image) {
    return {image.pixels, image.pixels + image.dataSize};
}

// Plans, readies the scratch and runs, as a caller that keeps its source does.
inline Status Correct(const ImageBuffer& source, const ImageBuffer& destination,
                      const CorrectionInputs& inputs, CorrectionScratch& scratch,
                      EngineContext& context) {
    const StatusOr<CorrectionPlan> plan =
        PlanCorrection(source, inputs, SourceUse::kKeep, context.sink);
    if (!plan.ok()) return plan.status();
    QUILLON_RETURN_IF_ERROR(ReadyCorrectionScratch(*plan, scratch, context));
    return RunCorrection(*plan, source, destination, scratch, context);
}

// A pool with `processors` threads (the caller included) and a capturing sink.
struct TestEngine {
    platform::CapturingSink sink;
    WorkerPool pool;
    EngineContext context{pool, sink};
    bool started = false;

    explicit TestEngine(std::int32_t processors = 2) {
        std::int32_t p = processors;
        started = CreateWorkerPool(pool, p, sink).ok();
    }
};

}  // namespace quillon::engine::testing
