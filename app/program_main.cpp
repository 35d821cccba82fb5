#include "app/program_main.h"

#include <new>
#include <vector>

#include "app/startup.h"
#include "settings/language_dialog.h"
#include "settings/settings_location.h"
#include "text/memory_messages.h"

namespace quillon::app {

int RunProgramMain(int argc, char** argv, platform::MessageSink& sink,
                   const WindowRun& withWindows) {
    // Without a usable home folder there is no safe place for settings: the run
    // works on the defaults, and what it would save stays in memory.
    settings::UserSettings user;
    platform::SettingsStore& userStore = user.Store();
    const platform::FileSettingsStore machineStore(settings::MachineSettingsPath());
    int result = 1;
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        std::optional<int> windowResult;
        if (withWindows) windowResult = withWindows(args, sink, userStore, machineStore);
        if (windowResult) {
            result = *windowResult;
        } else {
            // Without a display nothing can ask for a language: the first run
            // proceeds in English, and nothing can show a window.
            settings::NoDisplayLanguagePrompt languagePrompt;
            StderrBusyIndicator busy;
            const ProgramEnvironment env{sink, userStore, machineStore, languagePrompt, busy, {}};
            result = RunProgram(args, env);
        }
    } catch (const std::bad_alloc&) {
        // Pixel memory never throws (its failures are reported where they happen);
        // this catches the small containers, so that even they end in a message
        // instead of an abort. Photos and settings are only ever replaced whole,
        // so nothing is left half-written.
        sink.Show(text::kAllocMemError2);
        return 1;
    }
    if (user.ValuesLost()) {
        sink.Show("Quillon: no home folder is known, so the settings were not saved");
    }
    return result;
}

}  // namespace quillon::app
