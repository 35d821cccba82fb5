// quillon-window: the program with its windows. `quillon` hands over to it
// when a display answers; started directly it behaves as `quillon` does, with
// or without a display.

#include <optional>
#include <span>
#include <string>

#include "app/display.h"
#include "app/program_main.h"
#include "app/window/gui_program.h"
#include "platform/message_sink.h"

int main(int argc, char** argv) {
    using namespace quillon;
    platform::StderrSink sink;
    return app::RunProgramMain(
        argc, argv, sink,
        [&argc, argv](std::span<const std::string> args, platform::MessageSink& withoutWindow,
                      platform::SettingsStore& userStore,
                      const platform::SettingsStore& machineStore) -> std::optional<int> {
            if (!app::DisplayAvailable()) return std::nullopt;
            return app::RunWithWindows(argc, argv, args, withoutWindow, userStore, machineStore);
        });
}
