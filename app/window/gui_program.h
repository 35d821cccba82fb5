#pragma once

#include <span>
#include <string>

#include "app/app_state.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"

// The program with windows: the toolkit's application object, the window's
// message sink, the first-run language window, the busy window, the single
// instance and the main window, around the same RunProgram as without them.

namespace quillon::app {

// Runs RunProgram for `args` (argv without the program name, as it was before
// the toolkit saw it) with windows. `withoutWindow` receives the messages while
// no window is open (the quiet mode's among them).
int RunWithWindows(int& argc, char** argv, std::span<const std::string> args,
                   platform::MessageSink& withoutWindow, platform::SettingsStore& userStore,
                   const platform::SettingsStore& machineStore);

}  // namespace quillon::app
