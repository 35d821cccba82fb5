#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "engine/correction_settings.h"
#include "engine/worker_pool.h"

// Vignetting is corrected by a brightness gain that depends only on the distance
// of a pixel from the image centre. The gain is 1 at the centre and 1 / (1 - A)
// at the half diagonal; the midpoint decides how far out it stays near 1.

namespace quillon::engine {

// Everything the gain needs, computed once per image. Bands receive a copy.
struct VignettingConstants {
    double radius = 1.0;          // half diagonal in pixels
    double inverseRadius = 1.0;   // 1 / radius
    double base = 1.0;            // 1 - A: the divisor at the half diagonal
    double steepness = 1.0;       // k
    double slope = 0.0;           // A / tanh(k)
    std::int32_t halfWidth = 0;   // W / 2, integer
    std::int32_t halfHeight = 0;  // H / 2, integer
    // Quadrant rows with 256-bit vectors, four gains at a time; set when the
    // processor has them. The bytes are the same either way.
    bool wideVectors = false;
};

VignettingConstants MakeVignettingConstants(std::int32_t width, std::int32_t height, int vigAmount,
                                            int vigMidpoint);

// The factor every sample of a pixel at `distance` pixels from the centre is
// multiplied by (the reciprocal of the divisor).
double VignettingGain(const VignettingConstants& constants, double distance);

// The gains of quadrant row `row` (0 <= row < halfHeight) for its columns
// [firstColumn, endColumn) (within 0..halfWidth), as VignetteQuadrantRows
// applies them: VignettingGain of each distance, the same bits with and
// without wide vectors.
void QuadrantRowGains(const VignettingConstants& constants, std::int32_t row,
                      std::int32_t firstColumn, std::int32_t endColumn, double* gains);

// The steps below read `source` and write `destination`, images of the same
// geometry that are either apart or the very same pixels (in place).

// Quadrant rows [firstRow, endRow) together with their mirrored rows at the
// bottom and their mirrored columns. Bands with disjoint row ranges write
// disjoint pixels, so they may run at the same time.
void VignetteQuadrantRows(const ImageBuffer& source, const ImageBuffer& destination,
                          const VignettingConstants& constants, std::int32_t firstRow,
                          std::int32_t endRow);

// The centre column of an odd width and the centre row of an odd height, which
// the quadrant bands leave alone. The centre pixel itself keeps its value.
void VignetteCentreLines(const ImageBuffer& source, const ImageBuffer& destination,
                         const VignettingConstants& constants);

// Image rows [firstRow, endRow) each on its own, centre lines included: the
// same samples as the quadrant bands and the centre lines give them, for rows
// that arrive one after another (each gain is then computed for two pixels
// instead of four).
void VignetteImageRows(const ImageBuffer& source, const ImageBuffer& destination,
                       const VignettingConstants& constants, std::int32_t firstRow,
                       std::int32_t endRow);

// Brightens (VigAmount > 0) or darkens `source` into `destination` by
// VigAmount and VigMidpoint. The quadrant rows are shared out over the pool;
// the centre lines follow on the calling thread once every band is done.
// Images the engine cannot handle are left alone: this step cannot fail.
// `progress`, when given, counts the quadrant rows as their bands finish.
void ApplyVignetting(const ImageBuffer& source, const ImageBuffer& destination,
                     const CorrectionSettings& settings, WorkerPool& pool,
                     WorkProgress* progress = nullptr);
// The same in place.
void ApplyVignetting(const ImageBuffer& image, const CorrectionSettings& settings,
                     WorkerPool& pool);

}  // namespace quillon::engine
