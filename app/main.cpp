// quillon: corrects the optical faults of photographs.
//
//   quillon                         the folder browser (needs a display)
//   quillon [-i] [--] photo.jpg ... the editor, one file after another
//   quillon -q|-Q [-i] [--] photo   the quiet one-shot correction; -q notes
//                                   progress, -Q is silent, -i adds the lens's
//                                   distortion instead of removing it
// Each argument is taken as the system hands it over; "--" lets a file name
// start with '-'.

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/window/gui_program.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"
#include "settings/language_dialog.h"
#include "settings/settings_location.h"
#include "text/memory_messages.h"

int main(int argc, char** argv) {
    using namespace quillon;
    platform::StderrSink sink;
    // Without a usable home folder there is no safe place for settings: the run
    // works on the defaults, and what it would save stays in memory.
    const std::optional<std::string> userPath = settings::UserSettingsPath();
    std::optional<platform::FileSettingsStore> userFile;
    if (userPath) userFile.emplace(*userPath);
    platform::MemorySettingsStore keptNowhere;
    platform::SettingsStore& userStore =
        userFile ? static_cast<platform::SettingsStore&>(*userFile) : keptNowhere;
    const platform::FileSettingsStore machineStore(settings::MachineSettingsPath());
    int result = 1;
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (app::DisplayAvailable()) {
            result = app::RunWithWindows(argc, argv, args, sink, userStore, machineStore);
        } else {
            // Without a display nothing can ask for a language: the first run
            // proceeds in English, and nothing can show a window.
            settings::NoDisplayLanguagePrompt languagePrompt;
            app::StderrBusyIndicator busy;
            const app::ProgramEnvironment env{sink,           userStore, machineStore,
                                              languagePrompt, busy,      {}};
            result = app::RunProgram(args, env);
        }
    } catch (const std::bad_alloc&) {
        // Pixel memory never throws (its failures are reported where they happen);
        // this catches the small containers, so that even they end in a message
        // instead of an abort. Photos and settings are only ever replaced whole,
        // so nothing is left half-written.
        sink.Show(quillon::text::kAllocMemError2);
        return 1;
    }
    if (!userFile && !keptNowhere.Values().empty()) {
        sink.Show("Quillon: no home folder is known, so the settings were not saved");
    }
    return result;
}
