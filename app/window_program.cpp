#include "app/window_program.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <unistd.h>

#include "platform/paths.h"

#ifndef QUILLON_WINDOW_PROGRAM_FROM_BIN
#error "the build passes the window program's path relative to the bin folder"
#endif

namespace quillon::app {

std::string WindowProgramPathFor(std::string_view launcherPath) {
    const std::filesystem::path launcher(launcherPath);
    if (!launcher.is_absolute()) return {};
    // The executable's own path has no symbolic links left, so removing ".."
    // by name lands where the system would.
    return (launcher.parent_path() / QUILLON_WINDOW_PROGRAM_FROM_BIN).lexically_normal().string();
}

std::string StartWindowProgram(char** argv) {
    const std::string path = WindowProgramPathFor(platform::ExecutablePath());
    if (path.empty()) {
        return "Quillon: the window program cannot be started: this program's own location "
               "is unknown";
    }
    ::execv(path.c_str(), argv);
    return "Quillon: the window program " + path + " cannot be started: " + std::strerror(errno);
}

}  // namespace quillon::app
