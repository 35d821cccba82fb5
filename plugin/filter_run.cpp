#include "plugin/filter_run.h"

#include <cstdio>
#include <memory>
#include <new>
#include <optional>

#include "app/full_correction.h"
#include "app/photo_detection.h"
#include "lensdb/lens_history.h"
#include "lensdb/lens_matching.h"
#include "plugin/host_memory.h"
#include "plugin/host_metadata.h"
#include "plugin/host_transfer.h"
#include "plugin/script_parameters.h"
#include "settings/settings_io.h"

namespace quillon::plugin {

namespace {

// The text of the busy note while the full image is corrected.
constexpr int kCorrectingImageString = 0;

struct Outcome {
    bool completed = false;  // the run went through; its settings are saved
    bool corrected = false;  // the corrected document is with the host
};

// Corrects the loaded document with the values in `state` and writes it back.
// On failure the result says why: the engine's failure has been shown; a
// failed transfer has set the host's code.
bool CorrectAndWrite(HostCall call, const RunEnvironment& env, app::AppState& state,
                     BlockAllocator& allocator) {
    platform::MessageSink& sink = env.ui.Sink();
    app::ImageState& current = state.current;
    const engine::CorrectionInputs inputs{
        state.stored.correction, current.selection.lensModel,
        app::LensStateOf(current.selection, state.stored.correction)};
    // The work calls the host (its memory, the transfer): the busy indicator
    // of the plug-in runs it on the thread the host called in on.
    const auto correctAndCopy = [&](engine::WorkProgress& progress) {
        engine::EngineContext context{state.pool, sink};
        context.progress = &progress;
        // The document is read once and written once: the correction may
        // spend its copy of the source, and works in the host's memory.
        if (!app::CorrectFullImage(current.image, inputs, state.stored.correction, context,
                                   allocator)
                 .ok()) {
            if (call.result == FILTER_RESULT_OK) call.result = FILTER_RESULT_REPORTED;
            return 1;
        }
        return CopyBufferToHost(call, current.image.output, state.pool, sink).ok() ? 0 : 1;
    };
    return env.ui.Busy().Run(state.session.strings.Text(kCorrectingImageString), correctAndCopy) ==
           0;
}

Outcome CorrectDocument(HostCall call, const RunEnvironment& env, app::AppState& state,
                        BlockAllocator& allocator, bool handoffFilePresent) {
    platform::MessageSink& sink = env.ui.Sink();
    app::ImageState& current = state.current;
    // A failed copy has set the result and shown its message.
    if (!LoadHostImage(call, current.image, allocator, state.pool, sink).ok()) return {true, false};

    current.shot = ReadHostMetadata(call.record, handoffFilePresent ? env.handoffPath : "",
                                    app::DetectSwitchesOf(state.stored.values));
    // A document without a focal length is matched as if taken at 2 mm, which
    // no zoom covers: only a fixed-focus calibration can apply.
    if (current.shot.focalLength == 0.0) current.shot.focalLength = 2.0;

    const app::PhotoMatch match(state, /*invertMode=*/false, /*withWindow=*/false);
    const bool lensReady = lensdb::DetectForQuietCorrection(match.context(), current.selection);

    engine::CorrectionSettings& correction = state.stored.correction;
    const DialogRules rules{HostAsksForDialog(call.record, env.parametersRequested),
                            state.stored.values.alwaysDisplayDialog != 0,
                            correction.CorChoice == engine::kCorrectDistortion, lensReady,
                            handoffFilePresent};
    if (!ShowsDialog(rules)) {
        if (state.stored.values.resetAlways != 0) engine::ResetCorrectionValues(correction);
        return {true, CorrectAndWrite(call, env, state, allocator)};
    }

    DialogRequest request{state, call.record, handoffFilePresent};
    Outcome outcome{true, false};
    switch (AskDialog(env.ui, request)) {
        case DialogAnswer::kFailed:
            // The dialog has said why; the run ends without saving, and the
            // host learns that nothing was done.
            call.result = FILTER_RESULT_REPORTED;
            return {false, false};
        case DialogAnswer::kCancel:
            // The application that left the handoff file treats a cancel as
            // an answer, not as a failure.
            call.result = handoffFilePresent ? FILTER_RESULT_OK : FILTER_RESULT_CANCELLED;
            break;
        case DialogAnswer::kOk:
            outcome.corrected = CorrectAndWrite(call, env, state, allocator);
            break;
    }
    lensdb::RecordChoice(state.stored.history, current.selection, current.shot,
                         correction.CorChoice, /*imageShown=*/true);
    return outcome;
}

settings::SettingsRun PluginSettingsRun(app::AppState& state, const RunEnvironment& env) {
    settings::SettingsRun run;
    run.deliverable = settings::Deliverable::kPlugin;
    run.chooseLanguage =
        settings::LanguageChooser(env.ui.LanguagePrompt(), state.session.languages);
    return run;
}

}  // namespace

bool ShowsDialog(const DialogRules& rules) {
    return rules.hostAsks || rules.alwaysDisplayDialog ||
           (rules.profileCorrection && !rules.lensReady) || rules.handoffFilePresent;
}

bool HostAsksForDialog(const FilterRecord& record, bool parametersRequested) {
    if (record.descriptorParameters != nullptr) {
        return record.descriptorParameters->playInfo == FILTER_PLAY_DISPLAY_DIALOG;
    }
    return parametersRequested;
}

void RunFilter(HostCall call, const RunEnvironment& env) {
    platform::MessageSink& sink = env.ui.Sink();
    // Pixel memory comes from the host when it offers it. The allocator must
    // outlive the state, whose image blocks it serves.
    std::optional<HostBlockAllocator> hostMemory;
    if (HasBufferProcs(call.record)) hostMemory.emplace(call, sink);
    BlockAllocator& allocator =
        hostMemory ? static_cast<BlockAllocator&>(*hostMemory) : SystemBlockAllocator::Instance();

    std::unique_ptr<app::AppState> owned(new (std::nothrow) app::AppState());
    if (!owned) {
        call.result = FILTER_RESULT_OUT_OF_MEMORY;
        return;
    }
    app::AppState& state = *owned;
    app::StoredState& stored = state.stored;

    settings::SettingsRun run = PluginSettingsRun(state, env);
    // The host's parameters are read last, so they win over the stored values
    // and are taken as they are.
    run.readScriptParameters = [&](settings::SettingsValues& values,
                                   engine::CorrectionSettings& correction) {
        ReadScriptParameters(call.record, values, correction);
    };
    settings::LoadLanguageList(state.session.languages, state.session.strings, sink);
    // A missing installation folder has been reported; the database is then
    // looked for without one. A settings file that cannot be read has been
    // reported too, and the document stays as it is: correcting it with
    // values the user never chose would be no correction.
    const Status loaded =
        settings::LoadSettings({env.machineStore, env.userStore}, run, sink, stored.values,
                               stored.correction, stored.history, stored.loaded);
    if (loaded.code() == settings::kSettingsUnreadable) {
        call.result = FILTER_RESULT_REPORTED;
        return;
    }
    run.readScriptParameters = nullptr;
    (void)settings::SelectLanguage(state.session.languages, stored.values.language,
                                   state.session.strings, sink);

    bool ready = lensdb::LoadDatabase(stored.values.root, state.session.database,
                                      state.session.strings, sink)
                     .ok();
    if (ready && !engine::CreateWorkerPool(state.pool, stored.correction.Processors, sink).ok()) {
        // One processor from now on; the next run starts with it.
        (void)settings::SaveSettings(env.userStore, run, sink, stored.values, stored.correction,
                                     stored.history, settings::SaveScope::kPreferences,
                                     stored.loaded);
        ready = false;
    }

    bool handoffFilePresent = false;
    if (ready) {
        handoffFilePresent = HandoffFileUsable(env.handoffPath);
        const Outcome outcome = CorrectDocument(call, env, state, allocator, handoffFilePresent);
        if (outcome.completed) {
            // Only values that corrected the document go back to the host, so
            // an action never records a cancelled or failed step.
            if (outcome.corrected && call.result == FILTER_RESULT_OK) {
                run.writeScriptParameters = [&](const settings::SettingsValues& values,
                                                const engine::CorrectionSettings& correction) {
                    WriteScriptParameters(call.record, values, correction);
                };
            }
            (void)settings::SaveSettings(env.userStore, run, sink, stored.values, stored.correction,
                                         stored.history, settings::SaveScope::kEverything,
                                         stored.loaded);
        }
    } else {
        // The database or the workers have said what failed; the document is
        // unchanged, and the host must not take that for a correction.
        call.result = FILTER_RESULT_REPORTED;
    }

    if (handoffFilePresent) (void)std::remove(env.handoffPath.c_str());
    engine::StopWorkerPool(state.pool);
    owned.reset();
}

}  // namespace quillon::plugin
