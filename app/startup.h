#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "app/app_state.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"
#include "settings/language_dialog.h"

// The program from its command line to its exit code: start-up in its fixed
// order, the quiet one-shot correction or the main window, and shutdown.

namespace quillon::app {

// Shows what the program is doing while a full image is corrected and written,
// and runs that work: the quiet mode's 'q' and the windows hand it over, so
// a window can keep drawing (and show the progress) while the work runs.
class BusyIndicator {
  public:
    virtual ~BusyIndicator() = default;
    // Runs `work` while `text` is shown and answers its result; `work` counts
    // its progress into the counter it is handed.
    virtual int Run(std::string_view text,
                    const std::function<int(engine::WorkProgress&)>& work) = 0;
};

// Writes the text as one line on stderr, then runs the work.
class StderrBusyIndicator final : public BusyIndicator {
  public:
    int Run(std::string_view text, const std::function<int(engine::WorkProgress&)>& work) override;
};

// What the program is given by its surroundings. The entry point wires the
// real ones; tests pass temporary stores and a capturing sink.
struct ProgramEnvironment {
    platform::MessageSink& sink;
    platform::SettingsStore& userStore;
    const platform::SettingsStore& machineStore;
    settings::LanguagePrompt& languagePrompt;
    BusyIndicator& busy;
    // Runs the main window on the prepared state and answers its result; empty
    // while no window can be shown (no GUI built, or no display).
    std::function<int(AppState&)> mainWindow;
};

// Runs the program for its arguments (argv without the program name) and
// answers the exit code.
int RunProgram(std::span<const std::string> args, const ProgramEnvironment& env);

// The start-up steps that bring up what a run works with: the language list,
// the settings (asking for a language on the first run), the strings of the
// chosen language and the lens database. Answers the status of the failing
// step after its message (the program exits with ExitCodeOf it). The
// diagnostic tool shares this so that it sees exactly what the program sees.
Status LoadRunData(AppState& state, const ProgramEnvironment& env);

// Saves the preferences (the Options dialog's values) of `state` into the
// user's store, as closing the Options dialog with a change does; what was
// saved becomes the run's record of the stored values.
Status SavePreferences(AppState& state, platform::SettingsStore& userStore,
                       platform::MessageSink& sink);

// The message shown when a window would be needed but none can be opened.
inline constexpr std::string_view kNoWindowText =
    "Quillon: no window can be opened here. To correct a photo from the command line use\n"
    "  quillon -q|-Q [-i] photo.jpg|photo.tif";

}  // namespace quillon::app
