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
#include "preview/preview_state.h"
#include "settings/settings_io.h"

namespace quillon::plugin {

namespace {

// The text of the busy note while the full image is corrected.
constexpr int kCorrectingImageString = 0;

struct Outcome {
    bool completed = false;  // the run went through; its settings are saved
    bool corrected = false;  // the corrected document is with the host
};

settings::SettingsRun PluginSettingsRun(app::AppState& state, const RunEnvironment& env) {
    settings::SettingsRun run;
    run.deliverable = settings::Deliverable::kPlugin;
    run.chooseLanguage =
        settings::LanguageChooser(env.ui.LanguagePrompt(), state.session.languages);
    return run;
}

// Corrects the loaded document with the values in `state` and writes it back.
// The correction runs inside the busy note, which may run it on a thread of
// its own (its host memory then hops to the host's thread); the transfer runs
// after it, here on the host's thread. On failure the result says why: the
// engine's failure has been shown; a failed transfer has set the host's code.
bool CorrectAndWrite(HostCall call, const RunEnvironment& env, app::AppState& state,
                     BlockAllocator& allocator, engine::SourceUse sourceUse) {
    platform::MessageSink& sink = env.ui.Sink();
    app::ImageState& current = state.current;
    // The values of this moment: a dialog keeps showing the state's own while
    // the correction runs, and crop shifts the correction limits go into this
    // copy until it is done.
    engine::CorrectionSettings values = state.stored.correction;
    const engine::CorrectionInputs inputs{values, current.selection.lensModel,
                                          preview::LensStateOf(current.selection, values)};
    const auto correct = [&](engine::WorkProgress& progress) {
        progress.ExpectStages(app::ExpectedStages(
            engine::DecideCorrections(inputs.settings, inputs.lens, inputs.lensState)));
        engine::EngineContext context{state.pool, sink};
        context.progress = &progress;
        return app::CorrectFullImage(current.image, inputs, values, context, allocator, sourceUse)
                       .ok()
                   ? 0
                   : 1;
    };
    if (env.ui.Busy().Run(state.session.strings.Text(kCorrectingImageString), correct) != 0) {
        if (call.result == FILTER_RESULT_OK) call.result = FILTER_RESULT_REPORTED;
        return false;
    }
    state.stored.correction = values;
    return CopyBufferToHost(call, current.image.output, state.pool, sink).ok();
}

Outcome CorrectDocument(HostCall call, const RunEnvironment& env, app::AppState& state,
                        BlockAllocator& allocator, HandoffFile& handoff) {
    platform::MessageSink& sink = env.ui.Sink();
    app::ImageState& current = state.current;
    // A failed copy has set the result and shown its message.
    if (!LoadHostImage(call, current.image, allocator, state.pool, sink).ok()) return {true, false};

    // The dialog reads the metadata again whenever it shows the document, with
    // the Detect switches of that moment.
    const auto readMetadata = [&](ImageMetadata& metadata) {
        metadata::ShotInfo shot =
            ReadHostMetadata(call.record, handoff, app::DetectSwitchesOf(state.stored.values));
        metadata.icc = HostSourceProfile(call.record, shot);
        return shot;
    };
    current.shot = readMetadata(current.image.metadata);
    // A document without a focal length is matched as if taken at 2 mm, which
    // no zoom covers: only a fixed-focus calibration can apply.
    if (current.shot.focalLength == 0.0) current.shot.focalLength = 2.0;

    const app::PhotoMatch match(state, /*invertMode=*/false, /*withWindow=*/false);
    const bool lensReady = lensdb::DetectForQuietCorrection(match.context(), current.selection);

    engine::CorrectionSettings& correction = state.stored.correction;
    const bool handoffFilePresent = handoff.Present();
    const DialogRules rules{HostAsksForDialog(call.record, env.parametersRequested),
                            state.stored.values.alwaysDisplayDialog != 0,
                            correction.CorChoice == engine::kCorrectDistortion, lensReady,
                            handoffFilePresent};
    if (!ShowsDialog(rules)) {
        if (state.stored.values.resetAlways != 0) engine::ResetCorrectionValues(correction);
        // The document is read once and written once: the correction may
        // spend its copy of the source.
        return {true, CorrectAndWrite(call, env, state, allocator, engine::SourceUse::kSpend)};
    }

    Outcome outcome{true, false};
    // The dialog keeps showing the document while it is corrected.
    const auto correctAndWrite = [&] {
        outcome.corrected = CorrectAndWrite(call, env, state, allocator, engine::SourceUse::kKeep);
        return outcome.corrected;
    };
    const auto savePreferences = [&] {
        // A failed save has shown its message; the values stay in use.
        (void)settings::SaveSettings(env.userStore, PluginSettingsRun(state, env), sink,
                                     state.stored.values, correction, state.stored.history,
                                     settings::SaveScope::kPreferences, state.stored.loaded);
    };
    DialogRequest request{state, handoffFilePresent, readMetadata, correctAndWrite,
                          savePreferences};
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
            break;
    }
    lensdb::RecordChoice(state.stored.history, current.selection, current.shot,
                         correction.CorChoice, /*imageShown=*/true);
    return outcome;
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
    if (HasBufferProcs(call.record)) {
        hostMemory.emplace(call, sink,
                           [&ui = env.ui](const std::function<void()>& c) { ui.OnHostThread(c); });
    }
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
        HandoffFile handoff(handoffFilePresent ? env.handoffPath : std::string());
        const Outcome outcome = CorrectDocument(call, env, state, allocator, handoff);
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
