#include "app/startup.h"

#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include "app/exit_code.h"
#include "app/quiet_correction.h"
#include "lensdb/lens_history.h"
#include "lensdb/lens_matching.h"
#include "settings/settings_io.h"

namespace quillon::app {

namespace {

settings::SettingsRun SavingRun(const AppState& state) {
    settings::SettingsRun run;
    run.deliverable = settings::Deliverable::kProgram;
    run.mode = state.start.interactiveMode ? settings::WindowMode::kInteractive
                                           : settings::WindowMode::kEdit;
    return run;
}

settings::SettingsRun MakeSettingsRun(const AppState& state, const ProgramEnvironment& env) {
    settings::SettingsRun run = SavingRun(state);
    run.chooseLanguage = settings::LanguageChooser(env.languagePrompt, state.session.languages);
    return run;
}

// Records the lens of the photo last worked on, stops the workers and saves the
// settings. Image data and tables are released with the state.
void ShutDown(AppState& state, const ProgramEnvironment& env) {
    lensdb::RecordChoice(state.stored.history, state.current.selection, state.current.shot,
                         state.stored.correction.CorChoice, state.current.imageShown);
    engine::StopWorkerPool(state.pool);
    // A failed save has shown its own message; the run's result stands.
    (void)settings::SaveSettings(env.userStore, MakeSettingsRun(state, env), env.sink,
                                 state.stored.values, state.stored.correction, state.stored.history,
                                 settings::SaveScope::kEverything, state.stored.loaded);
}

int RunApplication(AppState& state, const ProgramEnvironment& env) {
    // The single-instance hand-over belongs to the window: a quiet correction
    // never needs the first instance's window.
    if (state.start.quietMode != 0) {
        const int result = RunQuietCorrection(state, env);
        if (result != kQuietNeedsEditor) return result;
        // No lens matched: the editor would open on the same photo so the user can
        // choose the lens by hand. Without a window the reason goes to the user.
    }
    if (env.mainWindow) return env.mainWindow(state);
    if (state.start.quietMode == 0) env.sink.Show(kNoWindowText);
    return kExitFailure;
}

}  // namespace

int StderrBusyIndicator::Run(std::string_view text,
                             const std::function<int(engine::WorkProgress&)>& work) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
    engine::WorkProgress progress;
    return work(progress);
}

Status SavePreferences(AppState& state, platform::SettingsStore& userStore,
                       platform::MessageSink& sink) {
    return settings::SaveSettings(userStore, SavingRun(state), sink, state.stored.values,
                                  state.stored.correction, state.stored.history,
                                  settings::SaveScope::kPreferences, state.stored.loaded);
}

Status LoadRunData(AppState& state, const ProgramEnvironment& env) {
    settings::LoadLanguageList(state.session.languages, state.session.strings, env.sink);
    const settings::SettingsStores stores{env.machineStore, env.userStore};
    QUILLON_RETURN_IF_ERROR(settings::LoadSettings(stores, MakeSettingsRun(state, env), env.sink,
                                                   state.stored.values, state.stored.correction,
                                                   state.stored.history, state.stored.loaded));
    (void)settings::SelectLanguage(state.session.languages, state.stored.values.language,
                                   state.session.strings, env.sink);
    return lensdb::LoadDatabase(state.stored.values.root, state.session.database,
                                state.session.strings, env.sink);
}

int RunProgram(std::span<const std::string> args, const ProgramEnvironment& env) {
    // 1. The state record. Its parts are small until a photo or the database is
    // loaded, but a machine that cannot hold even them gets a message, not a crash.
    std::unique_ptr<AppState> owned(new (std::nothrow) AppState());
    if (!owned) {
        env.sink.Show("initMem error: insufficient memory");
        return kExitFailure;
    }
    AppState& state = *owned;

    // 3. The command line.
    ParsedCommandLine parsed = ParseCommandLine(args);
    if (!parsed.unknownOption.empty()) {
        env.sink.Show(UnknownOptionText(parsed.unknownOption));
        return kExitFailure;
    }
    state.start = std::move(parsed.mode);
    if (state.start.quietMode != 0 && state.start.fileList.paths.size() != 1) {
        env.sink.Show("Only one file may be specified with the -q option");
        return kExitFailure;
    }

    // 4. The built-in colour profiles serve the preview only; the window's
    // set-up builds them.

    // 5-8.
    if (const Status loaded = LoadRunData(state, env); !loaded.ok()) return ExitCodeOf(loaded);

    // 9. The worker threads. When one cannot be started the program falls back
    // to one processor for the next start and ends now.
    if (const Status pool =
            engine::CreateWorkerPool(state.pool, state.stored.correction.Processors, env.sink);
        !pool.ok()) {
        (void)settings::SaveSettings(env.userStore, MakeSettingsRun(state, env), env.sink,
                                     state.stored.values, state.stored.correction,
                                     state.stored.history, settings::SaveScope::kPreferences,
                                     state.stored.loaded);
        return ExitCodeOf(pool);
    }

    // 10. Themes come from the toolkit; nothing to load.

    // 11-12. Run, then shut down in order.
    const int result = RunApplication(state, env);
    ShutDown(state, env);
    return result;
}

}  // namespace quillon::app
