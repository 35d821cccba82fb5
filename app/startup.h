#pragma once

#include <functional>
#include <string_view>

#include "app/app_state.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"
#include "settings/language_dialog.h"

// The program from its command line to its exit code: start-up in its fixed
// order, the quiet one-shot correction or the main window, and shutdown.

namespace quillon::app {

// Shows what the program is doing while it corrects a photo without a window
// (the quiet mode's 'q'), and hides it again.
class BusyIndicator {
  public:
    virtual ~BusyIndicator() = default;
    virtual void Open(std::string_view text) = 0;
    virtual void Close() = 0;
};

// Writes the note as one line on stderr; closing has nothing to do.
class StderrBusyIndicator final : public BusyIndicator {
  public:
    void Open(std::string_view text) override;
    void Close() override {}
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

// Runs the program for one command line (without the program name) and
// answers the exit code.
int RunProgram(std::string_view commandLine, const ProgramEnvironment& env);

// The start-up steps that bring up what a run works with: the language list,
// the settings (asking for a language on the first run), the strings of the
// chosen language and the lens database. Answers 0, or the exit code after the
// failing step has shown its message. The diagnostic tool shares this so that
// it sees exactly what the program sees.
int LoadRunData(AppState& state, const ProgramEnvironment& env);

// The message shown when a window would be needed but none can be opened.
inline constexpr std::string_view kNoWindowText =
    "Quillon: no window can be opened here. To correct a photo from the command line use\n"
    "  quillon -q|-Q [-i] photo.jpg|photo.tif";

}  // namespace quillon::app
