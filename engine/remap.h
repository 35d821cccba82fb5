#pragma once

#include <cstdint>
#include <vector>

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/transform_stack.h"
#include "engine/worker_pool.h"

// The resampler: for each destination pixel the stack gives a source position
// (computed exactly at sparse columns and filled in linearly where that stays
// within a pixel), the source is interpolated there with a 4x4 cubic kernel,
// and only the channels of the pass are written.

namespace quillon::engine {

// Which channels a remap pass writes.
enum class ChannelPass : std::int32_t {
    kAll = 0,
    kRed = 1,
    kGreen = 2,
    kBlue = 3,
    kRedGreen = 4,
    kRedBlue = 5,
    kGreenBlue = 6,
};

// The channel (0 red, 1 green, 2 blue) whose terms a pass uses.
int PassTermsChannel(ChannelPass pass);
// Whether `pass` writes channel `channel` (0 red, 1 green, 2 blue).
bool PassWritesChannel(ChannelPass pass, int channel);

// Keys' cubic convolution kernel with a = -0.75, for 0 <= t <= 2.
double KeysKernel(double t);

// Conversion of interpolated values back to samples. The output table holds,
// for each 1/m of a level, that value rounded half up to a whole level; the
// input side is the identity (linear samples), so it needs no table.
struct SampleTables {
    std::int32_t levels = 0;    // 256 or 65536
    std::int32_t subSteps = 0;  // 16 or 4
    std::vector<std::uint16_t> output;

    // q = value * m truncated toward zero; 0 below zero, the top level above
    // the table, otherwise the table entry.
    std::uint16_t Convert(double value) const;
};

// Builds the tables for 24 or 48 bits per pixel. Fails with status 1 and no
// message for any other depth, with status 1 and "Insufficient memory" when the
// table cannot be allocated.
Status BuildSampleTables(std::int32_t bitsPerPixel, SampleTables& tables,
                         const EngineContext& context);

// Sizes of a remap, for the coordinate computation.
struct RemapGeometry {
    std::int32_t sourceWidth = 0;
    std::int32_t sourceHeight = 0;
    std::int32_t destinationWidth = 0;
    std::int32_t destinationHeight = 0;
};

// Number of entries the coordinate arrays of ComputeSourceRow need.
inline std::int64_t SourceRowCapacity(std::int32_t destinationWidth) {
    return static_cast<std::int64_t>(destinationWidth) + 20;
}

// The exact source position (pixel units, not centred) of destination pixel
// (column, row).
Point ExactSourcePosition(const TransformStack& stack, const RemapGeometry& geometry,
                          std::int32_t column, std::int32_t row);

// Source positions and validity (1 valid, 0 not) of every column of destination
// row `row`. The stack runs exactly every 40 columns and at the row's end, and
// the gaps are filled by subdivision: linearly wherever the straight line stays
// within one pixel of the exact mapping at the midpoint, exactly otherwise;
// gaps whose both ends are invalid are invalid throughout. Arrays hold
// SourceRowCapacity(destinationWidth) entries.
void ComputeSourceRow(const TransformStack& stack, const RemapGeometry& geometry, std::int32_t row,
                      double* xs, double* ys, std::uint8_t* valid);

// Resamples `source` through `stack` into `destination` (equal bitsPerPixel,
// any sizes), writing only the channels of `pass`. Every band of destination
// rows runs on the pool. Fails without a message for a depth other than 24 or
// 48 bits, with "Insufficient memory" when the tables or a band's work memory
// cannot be had, and with a message for sides above kMaxImageSide.
Status RemapImage(const ImageBuffer& source, const ImageBuffer& destination,
                  const TransformStack& stack, ChannelPass pass, EngineContext& context);

// One band [firstRow, endRow) of a remap. Status 1 without a message when its
// work memory cannot be allocated (RemapImage reports that once).
Status RemapBand(const ImageBuffer& source, const ImageBuffer& destination,
                 const TransformStack& stack, ChannelPass pass, const SampleTables& tables,
                 std::int32_t firstRow, std::int32_t endRow, const EngineContext& context);

// A remap one destination row at a time, for work that must know which
// source rows a row reads before it reads them (the source may still be
// arriving). Holds the positions of one row; one per thread.
class RowRemap {
  public:
    // Work memory for rows of `destinationWidth`. Status 1 without a message
    // when it cannot be had. `context` also decides the vector width.
    Status Ready(std::int32_t destinationWidth, const EngineContext& context);

    // Computes the source positions of destination row `row` (ComputeSourceRow).
    void Map(const TransformStack& stack, const RemapGeometry& geometry, std::int32_t row);
    // The last source row that resampling the mapped columns [first, end)
    // reads (the 4 x 4 blocks clamped to the source), or -1 when none of
    // them reads any.
    std::int32_t LastSourceRow(std::int32_t first, std::int32_t end) const;
    // Resamples the mapped columns [first, end) from `source` (of the mapped
    // geometry) and writes the channels of `pass` at `out`, the pixel of
    // column `first`. The same samples RemapImage writes there.
    void Resample(const ImageBuffer& source, ChannelPass pass, const SampleTables& tables,
                  std::int32_t first, std::int32_t end, std::uint8_t* out) const;

  private:
    std::vector<double> xs_;
    std::vector<double> ys_;
    std::vector<std::uint8_t> valid_;
    std::int32_t sourceHeight_ = 0;
    bool wide_ = false;
};

}  // namespace quillon::engine
