#include "app/full_correction.h"

#include "preview/preview_state.h"

namespace quillon::app {

std::int32_t ExpectedStages(const engine::ActiveCorrections& steps) {
    // Chromatic aberration moves red and blue apart from green: up to one
    // remap per channel.
    std::int32_t stages = steps.vignetting ? 1 : 0;
    if (steps.Geometric()) stages += steps.chromaticAberration ? 3 : 1;
    if (steps.perspective) ++stages;
    if (steps.scale) ++stages;
    return stages;
}

int CorrectAndSave(AppState& state, const FullCorrection& job, platform::MessageSink& sink,
                   engine::WorkProgress& progress) {
    imageio::CurrentImage& image = state.current.image;
    const lensdb::LensSelection& selection = state.current.selection;
    const engine::CorrectionInputs inputs{job.values, selection.lensModel,
                                          preview::LensStateOf(selection, job.values)};
    const StatusOr<engine::CorrectionPlan> plan =
        engine::PlanCorrection(image.input, inputs, job.sourceUse, sink);
    if (!plan.ok()) return 1;
    progress.ExpectStages(ExpectedStages(plan->steps));
    engine::EngineContext context{state.pool, sink};
    context.progress = &progress;
    engine::CorrectionScratch scratch;
    if (!engine::ReadyCorrectionScratch(*plan, scratch, context).ok()) return 1;
    Status corrected;
    if (job.sourceUse == engine::SourceUse::kSpend) {
        corrected =
            engine::RunCorrection(*plan, image.blocks.source, image.output, scratch, context);
        image.input = ImageBuffer{};  // its pixels are spent
    } else {
        corrected = engine::RunCorrection(*plan, image.input, image.output, scratch, context);
    }
    if (!corrected.ok()) return 1;
    engine::AdoptCropShifts(*plan, job.values);
    return imageio::SaveImageFile(job.path, image, job.options, sink) == 0 ? 0 : 1;
}

}  // namespace quillon::app
