#include "engine/run_correction.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "engine/correction_rows.h"
#include "engine/fisheye.h"
#include "engine/image_ops.h"
#include "engine/lens_correction.h"
#include "engine/perspective.h"
#include "engine/vignetting.h"
#include "text/memory_messages.h"

namespace quillon::engine {

namespace {

// The planned image at the start of `block`.
ImageBuffer ImageIn(const ImageBuffer& geometry, PixelBlock& block) {
    ImageBuffer image = geometry;
    image.pixels = block.data();
    return image;
}

bool HasGeometry(const ImageBuffer& image, const ImageBuffer& planned) {
    return image.width == planned.width && image.height == planned.height &&
           image.bitsPerPixel == planned.bitsPerPixel;
}

bool Apart(const std::uint8_t* a, std::size_t aBytes, const std::uint8_t* b, std::size_t bBytes) {
    return a + aBytes <= b || b + bBytes <= a;
}

// The source and destination must fit the plan, and the scratch must have been
// readied for it and lie apart from both (a destination pointed into the
// scratch would be overwritten by the canvases).
Status CheckRun(const CorrectionPlan& plan, const ImageBuffer& source,
                const ImageBuffer& destination, const CorrectionScratch& scratch,
                platform::MessageSink& sink) {
    QUILLON_RETURN_IF_ERROR(CheckImage(source, sink));
    QUILLON_RETURN_IF_ERROR(CheckImage(destination, sink));
    if (!HasGeometry(source, plan.image) || !HasGeometry(destination, plan.image) ||
        PixelsOverlap(source, destination)) {
        return StatusCode::kFailed;
    }
    const std::size_t imageBytes = plan.imageBytes.value();
    for (std::size_t i = 0; i < scratch.blocks.size(); ++i) {
        const PixelBlock& block = scratch.blocks[i];
        const std::size_t used = plan.scratchBytes[i].value();
        if (used == 0) continue;
        if (block.size() < used || !Apart(block.data(), used, source.pixels, imageBytes) ||
            !Apart(block.data(), used, destination.pixels, imageBytes)) {
            return StatusCode::kFailed;
        }
    }
    return Status::Ok();
}

Status RunGeometric(const CorrectionPlan& plan, const ImageBuffer& from, const ImageBuffer& to,
                    EngineContext& context) {
    const ActiveCorrections& steps = plan.steps;
    if (steps.fisheye) {
        return RunFisheye(to, from, steps.chromaticAberration, plan.settings, context);
    }
    return RunLensCorrection(to, from, steps.chromaticAberration, steps.distortion, false,
                             plan.settings, plan.lens, context);
}

// The canvas sides and depth, as a one-canvas run remembers them.
std::array<std::int32_t, 3> CanvasKey(const ImageBuffer& canvas) {
    return {canvas.width, canvas.height, canvas.bitsPerPixel};
}

// Runs `band(remap, firstRow, endRow)` over [0, rows) on the pool, each band
// with work memory for rows of `width`; status 1 after "Insufficient memory"
// when that cannot be had, or when a band fails.
template <class Band>
Status FanOutRows(std::int32_t rows, std::int32_t width, EngineContext& context, const Band& band) {
    const Status status =
        FanOutBands(context.pool, rows, [&](std::int32_t first, std::int32_t end) -> Status {
            RowRemap remap;
            QUILLON_RETURN_IF_ERROR(remap.Ready(width, context));
            return band(remap, first, end);
        });
    if (!status.ok()) context.sink.Show(text::kInsufficientMemory);
    return status;
}

// Perspective on one canvas (plan.oneCanvas): vignetting as in RunSteps, the
// lens correction written straight into the middle of the canvas, and the
// window's rows re-projected from there into the destination.
Status RunOnOneCanvas(const CorrectionPlan& plan, const ImageBuffer& source, PixelBlock* spent,
                      const ImageBuffer& destination, CorrectionScratch& scratch,
                      EngineContext& context) {
    const ImageBuffer& image = plan.image;
    ImageBuffer from = source;
    if (plan.steps.vignetting) {
        if (spent == nullptr) from = ImageIn(image, scratch.blocks[1]);
        ApplyVignetting(source, from, plan.settings, context.pool, context.progress);
    }
    const ImageBuffer canvas = DescribeCanvas(image, scratch.blocks[0].data());
    LensRows lens;
    PerspectiveRows perspective;
    if (!lens.Ready(plan)) return StatusCode::kFailed;  // PlanCorrection checked it
    perspective.Ready(plan);
    // Nothing writes the margin but this, so a canvas of the same sides has
    // it black still.
    const bool black = scratch.firstZero || scratch.blackMargin == CanvasKey(canvas);
    scratch.firstZero = false;
    scratch.blackMargin = {};
    if (!black) perspective.ClearMargin(canvas);
    scratch.blackMargin = CanvasKey(canvas);

    SampleTables tables;
    QUILLON_RETURN_IF_ERROR(BuildSampleTables(image.bitsPerPixel, tables, context));
    NoRowWait present;
    WorkProgress* progress = context.progress;
    if (progress != nullptr) progress->BeginStage(image.height);
    QUILLON_RETURN_IF_ERROR(FanOutRows(
        image.height, image.width, context,
        [&](RowRemap& remap, std::int32_t first, std::int32_t end) -> Status {
            for (std::int32_t row = first; row < end; ++row) {
                lens.Row(remap, from, tables, row, perspective.ImageRow(canvas, row), present);
            }
            if (progress != nullptr) progress->AddRows(end - first);
            return Status::Ok();
        }));
    if (spent != nullptr) spent->Release();
    if (progress != nullptr) progress->BeginStage(image.height);
    return FanOutRows(image.height, canvas.width, context,
                      [&](RowRemap& remap, std::int32_t first, std::int32_t end) -> Status {
                          for (std::int32_t row = first; row < end; ++row) {
                              perspective.Row(remap, canvas, tables, row, destination.Row(row),
                                              present);
                          }
                          if (progress != nullptr) progress->AddRows(end - first);
                          return Status::Ok();
                      });
}

// The steps in their order. `spent` is the source's block when the caller has
// no more use for the source: its pixels may then be changed, and the block
// is released once they have all been read, before the canvases are filled.
// Every intermediate image lies in a scratch block: without canvases the
// first one, with canvases the image so far ends at the start of the first
// canvas's block, from where it is placed on that canvas.
Status RunSteps(const CorrectionPlan& plan, const ImageBuffer& source, PixelBlock* spent,
                const ImageBuffer& destination, CorrectionScratch& scratch,
                EngineContext& context) {
    const ActiveCorrections& steps = plan.steps;
    const CorrectionSettings& settings = plan.settings;
    WorkerPool& pool = context.pool;
    const bool sourceWritable = spent != nullptr;
    if (!plan.oneCanvas) {
        // Every other route may write anywhere in the first block.
        scratch.firstZero = false;
        scratch.blackMargin = {};
    }

    if (!steps.Canvas()) {
        if (!steps.Geometric()) {
            if (steps.vignetting) {
                ApplyVignetting(source, destination, settings, pool, context.progress);
            } else {
                std::memcpy(destination.pixels, source.pixels, plan.imageBytes.value());
            }
            return Status::Ok();
        }
        ImageBuffer from = source;
        if (steps.vignetting) {
            if (!sourceWritable) from = ImageIn(plan.image, scratch.blocks[0]);
            ApplyVignetting(source, from, settings, pool, context.progress);
        }
        return RunGeometric(plan, from, destination, context);
    }

    if (plan.oneCanvas) return RunOnOneCanvas(plan, source, spent, destination, scratch, context);
    ImageBuffer placed = source;
    if (steps.Geometric()) {
        ImageBuffer from = source;
        if (steps.vignetting) {
            if (!sourceWritable) from = ImageIn(plan.image, scratch.blocks[1]);
            ApplyVignetting(source, from, settings, pool, context.progress);
        }
        placed = ImageIn(plan.image, scratch.blocks[0]);
        QUILLON_RETURN_IF_ERROR(RunGeometric(plan, from, placed, context));
    } else if (steps.vignetting) {
        placed = ImageIn(plan.image, scratch.blocks[0]);
        ApplyVignetting(source, placed, settings, pool, context.progress);
    }
    const ImageBuffer first = DescribeCanvas(plan.image, scratch.blocks[0].data());
    const ImageBuffer second = DescribeCanvas(plan.image, scratch.blocks[1].data());
    PlaceOnCanvas(first, placed);
    if (spent != nullptr) spent->Release();
    return CorrectOnCanvas(first, second, destination, steps.perspective, steps.scale, plan.crop,
                           settings, plan.lens, context);
}

}  // namespace

ActiveCorrections DecideCorrections(const CorrectionSettings& settings, const LensModel& lens,
                                    LensState lensState) {
    const std::int32_t choice = ClampCorChoice(settings.CorChoice);
    ActiveCorrections active;
    active.distortion = choice == kCorrectDistortion && lensState.distortionUsable &&
                        (lens.a != 0.0f || lens.b != 0.0f || lens.c != 0.0f);
    active.chromaticAberration = settings.CaRed != 0 || settings.CaBlue != 0;
    active.fisheye = choice == kCorrectFisheye && lensState.fisheyeEnabled;
    active.vignetting = settings.VigAmount != 0;
    active.perspective =
        settings.PerspectVert != 0 || settings.PerspectHorz != 0 || settings.PerspectRotate != 0;
    active.scale = settings.PerspectScale != 100;
    return active;
}

StatusOr<CorrectionPlan> PlanCorrection(const ImageBuffer& image, const CorrectionInputs& inputs,
                                        SourceUse sourceUse, platform::MessageSink& sink) {
    QUILLON_RETURN_IF_ERROR(CheckImageGeometry(image, sink));
    CorrectionPlan plan;
    plan.steps = DecideCorrections(inputs.settings, inputs.lens, inputs.lensState);
    plan.settings = inputs.settings;
    plan.lens = inputs.lens;
    plan.sourceUse = sourceUse;
    plan.image = DescribeImage(image.width, image.height, image.bitsPerPixel, nullptr);
    const std::optional<ByteCount> imageBytes = ImageByteCount(plan.image);
    if (!imageBytes) {
        sink.Show(text::kInsufficientMemory);
        return StatusCode::kFailed;
    }
    plan.imageBytes = *imageBytes;
    const CropShifts shifts{inputs.settings.PerspectShiftHorz, inputs.settings.PerspectShiftVert};
    plan.crop.shifts = shifts;

    if (plan.steps.Canvas()) {
        std::optional<ByteCount> canvasBytes;
        if (CanvasFitsLimits(plan.image)) {
            plan.canvas = DescribeCanvas(plan.image, nullptr);
            canvasBytes = ImageByteCount(plan.canvas);
        }
        if (!canvasBytes) {
            sink.Show(text::kCanvasOutOfMemory[0]);
            return StatusCode::kFailed;
        }
        plan.crop = PlanCropWindow(image.width, image.height, plan.canvas, shifts);
        LensRows lens;
        plan.oneCanvas = plan.steps.perspective && !plan.steps.scale && lens.Ready(plan);
        if (!plan.oneCanvas) {
            plan.scratchBytes = {*canvasBytes, *canvasBytes};
        } else {
            // Vignetting needs an image of its own unless the source may take it.
            plan.scratchBytes[0] = *canvasBytes;
            if (plan.steps.vignetting && sourceUse == SourceUse::kKeep) {
                plan.scratchBytes[1] = plan.imageBytes;
            }
        }
    } else if (plan.steps.Geometric() && plan.steps.vignetting && sourceUse == SourceUse::kKeep) {
        // Vignetting cannot go into the destination, which the geometric step
        // writes while it reads the vignetted image.
        plan.scratchBytes[0] = plan.imageBytes;
    }
    return plan;
}

Status ReadyCorrectionScratch(const CorrectionPlan& plan, CorrectionScratch& scratch,
                              const EngineContext& context) {
    for (std::size_t i = 0; i < scratch.blocks.size(); ++i) {
        const ByteCount needed = plan.scratchBytes[i];
        PixelBlock& block = scratch.blocks[i];
        if (block.size() >= needed.value()) continue;
        // What the block held is of no use to the next run; freeing it first
        // keeps the old and the new block from being held at once.
        block.Release();
        if (i == 0) {
            scratch.firstZero = false;
            scratch.blackMargin = {};
        }
        if (!context.MayAllocate(needed.value()) || !block.Allocate(needed)) {
            context.sink.Show(plan.steps.Canvas() ? text::kCanvasOutOfMemory[i]
                                                  : text::kInsufficientMemory);
            return StatusCode::kFailed;
        }
        // Every block starts zeroed.
        if (i == 0) scratch.firstZero = true;
    }
    return Status::Ok();
}

Status RunCorrection(const CorrectionPlan& plan, const ImageBuffer& source,
                     const ImageBuffer& destination, CorrectionScratch& scratch,
                     EngineContext& context) {
    if (plan.sourceUse != SourceUse::kKeep) return StatusCode::kFailed;
    QUILLON_RETURN_IF_ERROR(CheckRun(plan, source, destination, scratch, context.sink));
    return RunSteps(plan, source, nullptr, destination, scratch, context);
}

Status RunCorrection(const CorrectionPlan& plan, PixelBlock& sourceBlock,
                     const ImageBuffer& destination, CorrectionScratch& scratch,
                     EngineContext& context) {
    if (plan.sourceUse != SourceUse::kSpend) return StatusCode::kFailed;
    const ImageBuffer source = ImageIn(plan.image, sourceBlock);
    if (sourceBlock.size() < plan.imageBytes.value()) return StatusCode::kFailed;
    QUILLON_RETURN_IF_ERROR(CheckRun(plan, source, destination, scratch, context.sink));
    return RunSteps(plan, source, &sourceBlock, destination, scratch, context);
}

void AdoptCropShifts(const CorrectionPlan& plan, CorrectionSettings& settings) {
    if (!plan.crop.limited) return;
    settings.PerspectShiftHorz = plan.crop.shifts.horizontal;
    settings.PerspectShiftVert = plan.crop.shifts.vertical;
}

}  // namespace quillon::engine
