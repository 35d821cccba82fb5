#include "app/full_correction.h"

#include "engine/run_correction.h"
#include "preview/preview_state.h"

namespace quillon::app {

std::int32_t ExpectedStages(const engine::CorrectionSettings& values,
                            const lensdb::LensSelection& selection) {
    const engine::ActiveCorrections active = engine::DecideCorrections(
        values, selection.lensModel, preview::LensStateOf(selection, values));
    // Chromatic aberration moves red and blue apart from green: up to one
    // remap per channel.
    const std::int32_t channelPasses = active.chromaticAberration ? 3 : 1;
    std::int32_t stages = active.vignetting ? 1 : 0;
    if (active.fisheye || active.distortion || active.chromaticAberration) stages += channelPasses;
    if (active.perspective) ++stages;
    if (active.scale) ++stages;
    return stages;
}

int CorrectAndSave(AppState& state, const FullCorrection& job, platform::MessageSink& sink,
                   engine::WorkProgress& progress) {
    ImageState& current = state.current;
    progress.ExpectStages(ExpectedStages(job.values, current.selection));
    engine::CorrectionInputs inputs{job.values, current.selection.lensModel,
                                    preview::LensStateOf(current.selection, job.values)};
    engine::EngineContext context{state.pool, sink};
    context.progress = &progress;
    if (!job.keepSource) current.image.blocks.backup.Release();
    if (!engine::RunCorrection(current.image.output, current.image.input, /*isPreview=*/false,
                               current.image.blocks, inputs, context)
             .ok()) {
        return 1;
    }
    return imageio::SaveImageFile(job.path, current.image, job.options, sink) == 0 ? 0 : 1;
}

}  // namespace quillon::app
