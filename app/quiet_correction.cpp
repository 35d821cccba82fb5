#include "app/quiet_correction.h"

#include <string>

#include "app/full_correction.h"
#include "app/photo_detection.h"
#include "app/quiet_checks.h"
#include "app/streamed_correction.h"
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

int RunQuietCorrection(AppState& state, const ProgramEnvironment& env) {
    const std::string* next = state.start.fileList.Next();
    if (next == nullptr) return kQuietFailed;
    const std::string path = *next;
    if (CheckImagePath(path, env.sink) != 0) return kQuietFailed;

    // The photo is corrected as stored: turning it upright is the preview's
    // business, and the written file keeps its orientation value. It is read
    // on a thread of its own while its lens is found and, where the correction
    // allows, corrected and written.
    ImageState& current = state.current;
    PhotoReading reading(path, current.image, env.sink);
    if (!reading.WaitBegun()) return kQuietFailed;

    ReadShotInfo(state);
    // A photo without a focal length is matched as if taken at 2 mm, which no
    // zoom covers: only a fixed-focus calibration can apply.
    if (current.shot.focalLength == 0.0) current.shot.focalLength = 2.0;

    const PhotoMatch match(state, state.start.invertMode, /*withWindow=*/false);
    if (!lensdb::DetectForQuietCorrection(match.context(), current.selection)) {
        // A photo that cannot be read is refused as such, before its lens.
        if (!reading.Finish(true).ok()) return kQuietFailed;
        if (!env.mainWindow) env.sink.Show(NoLensMessage(match.context(), current.selection, path));
        state.start.fileList.StepBack();
        return kQuietNeedsEditor;
    }

    StoredState& stored = state.stored;
    const settings::SettingsValues& values = stored.values;
    if (values.resetAlways != 0) engine::ResetCorrectionValues(stored.correction);
    imageio::ImageFileOptions options;
    options.interactiveMode = false;  // the photo is written over itself
    options.suffix = values.suffix;
    options.jpegQuality = values.jpegQuality;
    // The photo is read once and written once: the correction may spend its
    // pixels. Crop shifts that had to be limited are adopted, as a window
    // would show them, and so saved with the settings.
    const FullCorrection job{path, options, stored.correction, engine::SourceUse::kSpend};
    const auto correctAndSave = [&](engine::WorkProgress& progress) {
        return CorrectAndSaveWhileReading(state, job, reading, env.sink, progress) == 0
                   ? kQuietCorrected
                   : kQuietFailed;
    };
    if (state.start.quietMode == 'q') {
        return env.busy.Run("Correcting " + std::string(platform::FileNameOf(path)),
                            correctAndSave);
    }
    engine::WorkProgress unwatched;
    return correctAndSave(unwatched);
}

}  // namespace quillon::app
