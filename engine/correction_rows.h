#pragma once

#include <array>
#include <cstdint>

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/pass_plan.h"
#include "engine/perspective_canvas.h"
#include "engine/perspective_maps.h"
#include "engine/remap.h"
#include "engine/transform_stack.h"

// The two remaps of a correction one destination row at a time: the lens
// correction of the image, and the perspective of the canvas restricted to
// the window that is cut out of it. Written row by row, each gives the bytes
// its whole-image run gives (RunLensCorrection; RunPerspective followed by
// CropToImage), so the image can be corrected in bands, while it is still
// arriving or while finished rows are being written, without a second canvas.

namespace quillon::engine {

struct CorrectionPlan;

// Something to wait on before a source row is read: true once `row` can be
// read, false when it never will be.
class RowWait {
  public:
    virtual bool WaitFor(std::int32_t row) = 0;

  protected:
    ~RowWait() = default;
};

// Every row is in place.
class NoRowWait final : public RowWait {
  public:
    bool WaitFor(std::int32_t) override { return true; }
};

// The lens correction (distortion, chromatic aberration) of a plan without
// fisheye conversion; a plan without either copies the rows.
class LensRows {
  public:
    // Builds the passes for `plan`. False when they would leave some channel
    // of the destination unwritten (a pass that does nothing): such a plan
    // must run whole.
    bool Ready(const CorrectionPlan& plan);

    // Row `row` of the corrected image at `out` from `source` (of the planned
    // geometry); `wait` is asked for the last source row each pass reads.
    // False when a row never came.
    bool Row(RowRemap& remap, const ImageBuffer& source, const SampleTables& tables,
             std::int32_t row, std::uint8_t* out, RowWait& wait) const;

    // Remap passes run for each row (0 for a copy).
    std::int32_t PassCount() const { return passes_.count; }

  private:
    PassPlan passes_;
    std::array<PassStack, 3> stacks_;
    bool copyOnly_ = true;
};

// The perspective of a plan, from its canvas (the corrected image in the
// middle, black around it) into the image-sized window of the plan's crop.
class PerspectiveRows {
  public:
    PerspectiveRows() = default;
    // The stack points into the parameters held here.
    PerspectiveRows(const PerspectiveRows&) = delete;
    PerspectiveRows& operator=(const PerspectiveRows&) = delete;

    void Ready(const CorrectionPlan& plan);

    // Row `row` of the window at `out` from `canvas`; `wait` is asked for the
    // last image row the row reads (rows of the canvas's margin are black and
    // always there). False when it never came.
    bool Row(RowRemap& remap, const ImageBuffer& canvas, const SampleTables& tables,
             std::int32_t row, std::uint8_t* out, RowWait& wait) const;

    // Where the image lies in a canvas of the plan: its rows are `rowBytes`
    // of the canvas apart (not a usable image by itself).
    std::uint8_t* ImageRow(const ImageBuffer& canvas, std::int32_t row) const;

    // Writes black over the canvas's margin around the image.
    void ClearMargin(const ImageBuffer& canvas) const;

  private:
    PerspectiveParams params_;
    TransformStack stack_;
    RemapGeometry geometry_;
    std::int32_t imageWidth_ = 0;
    std::int32_t imageHeight_ = 0;
    // The image's place in the canvas, and the window's.
    std::int32_t imageX_ = 0;
    std::int32_t imageY_ = 0;
    std::int32_t windowX_ = 0;
    std::int32_t windowY_ = 0;
};

}  // namespace quillon::engine
