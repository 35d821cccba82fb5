#include "app/quiet_correction.h"

#include <string>

#include "app/photo_detection.h"
#include "app/quiet_checks.h"
#include "engine/run_correction.h"
#include "imageio/image_file.h"
#include "lensdb/lens_matching.h"
#include "metadata/info_text.h"
#include "platform/paths.h"

namespace quillon::app {

namespace {

// Quiet mode corrects with no window: the first line of the detection texts
// says why no lens could be used, with the file it is about.
std::string NoLensMessage(const lensdb::MatchContext& context, lensdb::LensSelection& selection,
                          const std::string& path) {
    // Without any camera names every camera is a candidate; naming the first
    // one's missing lens would only confuse.
    if (context.shot.make.empty() && context.shot.model.empty()) {
        return "Quillon: " + path + ": " +
               std::string(context.texts.Text(metadata::kNoExifInfoText));
    }
    std::string reason = lensdb::DetectionText(context, selection);
    if (const auto end = reason.find_first_of("\r\n"); end != std::string::npos) {
        reason.resize(end);
    }
    if (reason.empty()) {
        reason = std::string(context.texts.Text(selection.IsRealLensSelected()
                                                    ? lensdb::kMsgFocalNotCalibrated
                                                    : lensdb::kMsgSelectLens));
    }
    return "Quillon: " + path + ": " + reason;
}

}  // namespace

Status CorrectFullImage(imageio::CurrentImage& image, const engine::CorrectionInputs& inputs,
                        engine::CorrectionSettings& settings, engine::EngineContext& context,
                        BlockAllocator& scratchMemory) {
    const StatusOr<engine::CorrectionPlan> plan =
        engine::PlanCorrection(image.input, inputs, engine::SourceUse::kSpend, context.sink);
    if (!plan.ok()) return plan.status();
    engine::CorrectionScratch scratch;
    for (PixelBlock& block : scratch.blocks) block = PixelBlock(scratchMemory);
    QUILLON_RETURN_IF_ERROR(engine::ReadyCorrectionScratch(*plan, scratch, context));
    const Status status =
        engine::RunCorrection(*plan, image.blocks.source, image.output, scratch, context);
    image.input = ImageBuffer{};  // its pixels are spent
    if (status.ok()) engine::AdoptCropShifts(*plan, settings);
    return status;
}


int RunQuietCorrection(AppState& state, const ProgramEnvironment& env) {
    const std::string* next = state.start.fileList.Next();
    if (next == nullptr) return kQuietFailed;
    const std::string path = *next;
    if (CheckImagePath(path, env.sink) != 0) return kQuietFailed;

    // The photo is corrected as stored: turning it upright is the preview's
    // business, and the written file keeps its orientation value.
    ImageState& current = state.current;
    if (imageio::LoadImageFile(path, current.image, env.sink) != 0) return kQuietFailed;

    ReadShotInfo(state);
    // A photo without a focal length is matched as if taken at 2 mm, which no
    // zoom covers: only a fixed-focus calibration can apply.
    if (current.shot.focalLength == 0.0) current.shot.focalLength = 2.0;

    const PhotoMatch match(state, state.start.invertMode, /*withWindow=*/false);
    if (!lensdb::DetectForQuietCorrection(match.context(), current.selection)) {
        if (!env.mainWindow) env.sink.Show(NoLensMessage(match.context(), current.selection, path));
        state.start.fileList.StepBack();
        return kQuietNeedsEditor;
    }

    StoredState& stored = state.stored;
    const settings::SettingsValues& values = stored.values;
    if (values.resetAlways != 0) engine::ResetCorrectionValues(stored.correction);
    if (state.start.quietMode == 'q') {
        env.busy.Open("Correcting " + std::string(platform::FileNameOf(path)));
    }

    const engine::CorrectionInputs inputs{stored.correction, current.selection.lensModel,
                                          LensStateOf(current.selection, stored.correction)};
    engine::EngineContext engineContext{state.pool, env.sink};
    const Status corrected =
        CorrectFullImage(current.image, inputs, stored.correction, engineContext);
    int result = kQuietFailed;
    if (corrected.ok()) {
        imageio::ImageFileOptions options;
        options.interactiveMode = false;  // the photo is written over itself
        options.suffix = values.suffix;
        options.jpegQuality = values.jpegQuality;
        if (imageio::SaveImageFile(path, current.image, options, env.sink) == 0) {
            result = kQuietCorrected;
        }
    }
    env.busy.Close();
    return result;
}

}  // namespace quillon::app
