#include "app/full_correction.h"

#include "app/photo_detection.h"
#include "app/streamed_correction.h"
#include "preview/preview_state.h"

namespace quillon::app {

Status CorrectFullImage(CurrentImage& image, const engine::CorrectionInputs& inputs,
                        engine::CorrectionSettings& settings, engine::EngineContext& context,
                        BlockAllocator& scratchMemory, engine::SourceUse sourceUse) {
    const StatusOr<engine::CorrectionPlan> plan =
        engine::PlanCorrection(image.input, inputs, sourceUse, context.sink);
    if (!plan.ok()) return plan.status();
    engine::CorrectionScratch scratch;
    for (PixelBlock& block : scratch.blocks) block = PixelBlock(scratchMemory);
    QUILLON_RETURN_IF_ERROR(engine::ReadyCorrectionScratch(*plan, scratch, context));
    Status status;
    if (sourceUse == engine::SourceUse::kSpend) {
        status = engine::RunCorrection(*plan, image.blocks.source, image.output, scratch, context);
        image.input = ImageBuffer{};  // its pixels are spent
    } else {
        status = engine::RunCorrection(*plan, image.input, image.output, scratch, context);
    }
    if (status.ok()) engine::AdoptCropShifts(*plan, settings);
    return status;
}

std::int32_t ExpectedStages(const engine::ActiveCorrections& steps) {
    // Chromatic aberration moves red and blue apart from green: up to one
    // remap per channel.
    std::int32_t stages = steps.vignetting ? 1 : 0;
    if (steps.perspective && !steps.scale && !steps.fisheye) {
        // Onto one canvas (lens correction or copy), then the window.
        return stages + 2;
    }
    if (steps.Geometric()) stages += steps.chromaticAberration ? 3 : 1;
    if (steps.perspective) ++stages;
    if (steps.scale) ++stages;
    return stages;
}

int CorrectAndSave(AppState& state, const FullCorrection& job, platform::MessageSink& sink,
                   engine::WorkProgress& progress) {
    const int streamed = CorrectAndSaveStreamed(state, job, sink, progress);
    if (streamed != kNotStreamed) return streamed;
    ImageState& current = state.current;
    const engine::CorrectionInputs inputs{job.values, current.selection.lensModel,
                                          preview::LensStateOf(current.selection, job.values)};
    progress.ExpectStages(
        ExpectedStages(engine::DecideCorrections(inputs.settings, inputs.lens, inputs.lensState)));
    engine::EngineContext context{state.pool, sink};
    context.progress = &progress;
    if (!CorrectFullImage(current.image, inputs, job.values, context,
                          SystemBlockAllocator::Instance(), job.sourceUse)
             .ok()) {
        return 1;
    }
    return imageio::SaveImageFile(job.path, current.image, job.options, sink).ok() ? 0 : 1;
}

}  // namespace quillon::app
