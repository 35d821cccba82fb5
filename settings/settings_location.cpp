#include "settings/settings_location.h"

#include <cstdlib>
#include <filesystem>

#include "platform/paths.h"

#ifndef QUILLON_BUILD_DIR
#error "the build passes QUILLON_BUILD_DIR and the two machine-wide key paths"
#endif

namespace quillon::settings {

namespace {

// Whether `path` names something inside the folder `dir`, after both have
// been made absolute and free of "..", so a look-alike prefix never counts.
bool IsInside(std::string_view path, std::string_view dir) {
    std::error_code error;
    const auto file = std::filesystem::weakly_canonical(std::filesystem::path(path), error);
    if (error) return false;
    const auto folder = std::filesystem::weakly_canonical(std::filesystem::path(dir), error);
    if (error || folder.empty()) return false;
    auto f = file.begin();
    for (auto d = folder.begin(); d != folder.end(); ++d, ++f) {
        if (d->empty()) continue;  // the trailing separator of a folder path
        if (f == file.end() || *f != *d) return false;
    }
    return f != file.end();
}

}  // namespace

UserSettings::UserSettings() {
    if (const std::optional<std::string> path = UserSettingsPath()) file_.emplace(*path);
}

std::optional<std::string> UserSettingsPath() {
    const std::optional<std::string> config = platform::UserConfigDir();
    if (!config) return std::nullopt;
    return platform::JoinPath(platform::JoinPath(*config, "Velmora"), "Quillon.reg");
}

std::string BuildTreeMachineSettingsPath() { return QUILLON_BUILD_MACHINE_SETTINGS; }

std::string InstalledMachineSettingsPath() { return QUILLON_INSTALLED_MACHINE_SETTINGS; }

std::string MachineSettingsPathFor(std::string_view executablePath, const char* override) {
    if (override && *override) return override;
    if (!executablePath.empty() && IsInside(executablePath, QUILLON_BUILD_DIR)) {
        return BuildTreeMachineSettingsPath();
    }
    return InstalledMachineSettingsPath();
}

std::string MachineSettingsPath() {
    return MachineSettingsPathFor(platform::ExecutablePath(),
                                  std::getenv(kMachineSettingsVariable));
}

}  // namespace quillon::settings
