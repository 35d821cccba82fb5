#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "base/image_buffer.h"
#include "base/pixel_block.h"
#include "base/status.h"
#include "engine/correction_rows.h"
#include "engine/remap.h"
#include "engine/run_correction.h"
#include "engine/vignetting.h"
#include "engine/worker_pool.h"

// A correction that runs while the photo is still being read and written: a
// destination row is remapped as soon as the source rows it reads are in
// place, and finished rows are handed on in order while later ones are still
// being remapped. Three threads overlap (the reader, the remap on the pool,
// the writer), and only a band of destination rows is ever held besides the
// source (and, with perspective, the one canvas the corrected image lies on,
// re-projected window band by window band as the rows it reads are done).
// Every row comes out as RunCorrection writes it.

namespace quillon::engine {

// Whether `plan` can run that way: a lens correction, perspective without
// scale, or both, and vignetting before them when the source may take it
// (SourceUse::kSpend; it then waits for the whole source). Fisheye conversion
// and scale work on whole images and keep the ordinary run.
bool CanStreamCorrection(const CorrectionPlan& plan);

// How many source rows a reader has put in place, shared between its thread
// and those waiting for the rows.
class ArrivingRows final : public RowWait {
  public:
    // Rows [0, rows) are in place.
    void Arrived(std::int32_t rows);
    // No more rows will come: the reader has ended, `complete` when it put
    // every row in place and found nothing wrong with the file.
    void End(bool complete);
    // Waits until `row` is in place: true, or false when the reader ended
    // before it.
    bool WaitFor(std::int32_t row) override;
    // Waits for the reader's end: true when it was complete.
    bool WaitComplete();

  private:
    std::atomic<std::int32_t> present_{0};
    bool stopped_ = false;
    bool complete_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
};

class StreamedCorrection {
  public:
    // `plan` (CanStreamCorrection) for `source`, whose rows arrive through
    // `arriving`; all must outlive this object.
    StreamedCorrection(const CorrectionPlan& plan, const ImageBuffer& source,
                       ArrivingRows& arriving, EngineContext& context);
    StreamedCorrection(const StreamedCorrection&) = delete;
    StreamedCorrection& operator=(const StreamedCorrection&) = delete;

    // The tables, the pass stacks, the band memory and the canvas. Status 1
    // after "Insufficient memory" (or, for the canvas, "Insufficient memory
    // for Perspective adjustments") when they cannot be had.
    Status Ready();

    // Remaps every destination row on the pool (the calling thread takes
    // part) and returns once all are done or the work was given up; with
    // vignetting, one lane first vignettes the source in place as it
    // arrives. Status 1 when rows are missing: after "Insufficient memory" for
    // work memory, silently when the reader stopped early or the writer gave
    // up.
    Status Remap();

    // Rows [first, first + count) of the destination, for the writer's thread,
    // asked from the top down with no range starting before the one before;
    // valid until the next call. Waits for them to be remapped; null when they
    // never will be. The last rows also wait for the reader's end and are
    // null unless it was complete: a file whose end turns out damaged is
    // never finished, so the photo it would replace stays as it was.
    const std::uint8_t* Rows(std::int32_t first, std::int32_t count);

    // The writer has ended: nothing more will be asked, and remapping stops.
    void Abandon();

  private:
    // Rows of one band; a multiple of what the JPEG writer asks at a time, so
    // that its requests never straddle two bands.
    static constexpr std::int32_t kBandRows = 32;

    class CanvasWait;

    // Work memory of one lane: rows of the image, and of the canvas.
    struct Lane {
        RowRemap image;
        RowRemap canvas;
    };

    // Vignettes the source in place as its rows arrive, saying so through
    // vignetted_.
    void Vignette(const VignettingConstants& constants);
    void RunLane();
    void RunLaneWork(Lane& lane);
    std::uint8_t* Slot(std::int32_t band);
    // A band of the lens correction: into its slot, or onto the canvas.
    bool LensBand(RowRemap& rows, std::int32_t band);
    // A band of the window re-projected from the canvas, into its slot.
    bool WindowBand(Lane& lane, std::int32_t band);
    // Marks lens band `band` done (or failed) and moves the canvas's
    // finished rows on.
    void LensBandEnded(std::int32_t band, bool done);
    // Takes the next lens band for the canvas under the lock: -1 when none is
    // left.
    std::int32_t TakeLensBand();

    const CorrectionPlan& plan_;
    const ImageBuffer& source_;
    ArrivingRows& arriving_;
    EngineContext& context_;
    // The source rows vignetted so far, when the plan vignettes.
    ArrivingRows vignetted_;

    SampleTables tables_;
    LensRows lens_;
    PerspectiveRows perspective_;
    bool onCanvas_ = false;
    PixelBlock canvasBlock_;
    ImageBuffer canvas_;

    std::int32_t bandCount_ = 0;
    std::int32_t slotCount_ = 0;
    std::vector<std::uint8_t> slots_;
    // Rows that straddle bands are copied here for the writer.
    std::vector<std::uint8_t> joined_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::int32_t nextBand_ = 0;       // the next band a lane takes
    std::int32_t releasedBands_ = 0;  // bands below this the writer is done with
    std::vector<std::uint8_t> bandDone_;
    // With a canvas: lens bands taken and done, and the image rows on the
    // canvas from the top without a gap.
    std::int32_t nextLensBand_ = 0;
    std::vector<std::uint8_t> lensDone_;
    std::int32_t canvasRows_ = 0;
    bool failed_ = false;  // a band could not be remapped
    bool outOfMemory_ = false;
    bool abandoned_ = false;
};

}  // namespace quillon::engine
