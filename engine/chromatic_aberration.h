#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/worker_pool.h"

// Lateral chromatic aberration is a slightly different magnification of red and
// blue against green. The lens-correction path folds it into the per-channel
// radial terms; the fisheye path gives the fisheye source its own terms; and
// the zoom view, which shows a small region at full size, approximates the
// radial scale over that region by a constant shift of red and blue.

namespace quillon::engine {

// Scale change of red or blue per slider step.
inline constexpr double kCaStep = 0.0001;

// The lens terms of a fisheye source with chromatic aberration: constant
// scales for red and blue, green neutral, each limited to the source's corner
// radius.
LensCorrectionRequest FisheyeChromaticTerms(std::int32_t width, std::int32_t height, int caRed,
                                            int caBlue);

// A region of the full image in full-image pixels, and the full image's size.
struct DetailRegion {
    std::int32_t imageWidth = 0;
    std::int32_t imageHeight = 0;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Where red and blue are sampled relative to the destination pixel (pixels).
struct DetailShifts {
    double redX = 0.0;
    double redY = 0.0;
    double blueX = 0.0;
    double blueY = 0.0;

    bool None() const { return redX == 0.0 && redY == 0.0 && blueX == 0.0 && blueY == 0.0; }
};

// The radial scale at the region's centre, taken as a shift for the whole
// region: a region far from the image centre moves its red and blue by about
// the offset times the scale change.
DetailShifts ComputeDetailShifts(const DetailRegion& region, int caRed, int caBlue);

// Corrects the region `source` (the region's uncorrected pixels) into
// `destination` (same size and format) by the shifts above; green is copied.
// Without any shift the pixels are copied as they are.
Status ShiftForDetail(const DetailRegion& region, int caRed, int caBlue, const ImageBuffer& source,
                      const ImageBuffer& destination, EngineContext& context);

}  // namespace quillon::engine
