#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "platform/message_sink.h"
#include "platform/settings_store.h"

// What the entry point of either executable does around RunProgram: the
// user's and the machine-wide settings stores, the run with or without
// windows, the last resort for a failed allocation and the note on settings
// that had nowhere to go.

namespace quillon::app {

// Runs the program with windows for `args` and answers its exit code, or
// nothing when no window can be shown here (the run then goes on without).
using WindowRun = std::function<std::optional<int>(
    std::span<const std::string> args, platform::MessageSink& sink,
    platform::SettingsStore& userStore, const platform::SettingsStore& machineStore)>;

// The program for the command line `argc`/`argv`, its messages to `sink`
// while no window is open; answers the process's exit code.
int RunProgramMain(int argc, char** argv, platform::MessageSink& sink,
                   const WindowRun& withWindows);

}  // namespace quillon::app
