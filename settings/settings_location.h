#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/settings_store.h"

// Where the two settings keys live.
//
// The per-user key is <config>/Velmora/Quillon.reg, where <config> is
// $XDG_CONFIG_HOME or <home>/.config (platform::UserConfigDir: never a relative
// or shared folder). A process without any usable home folder has no per-user
// key: it works on the defaults and keeps nothing.
//
// The machine-wide key holds the installation folder ("Root") and is written
// by the build, not by the program. The first of these that applies is used:
//
//  1. the file named by the environment variable QUILLON_MACHINE_SETTINGS, for
//     tests and for installations moved after they were built;
//  2. for a program run from its build tree (its executable lies below the
//     build folder), the key the build wrote there, etc/Velmora/Quillon.reg,
//     whose Root is the build tree's share/quillon/ folder, so the build works
//     without installing;
//  3. otherwise the key written by the install step, <sysconfdir>/Velmora/
//     Quillon.reg, whose Root is <datadir>/quillon/.
//
// Both built-in paths are compiled in; no folder is searched, so a stray file
// elsewhere can never redirect the program.

namespace quillon::settings {

inline constexpr const char* kMachineSettingsVariable = "QUILLON_MACHINE_SETTINGS";

// Nothing when there is no usable folder for it.
std::optional<std::string> UserSettingsPath();

// The user's settings: the file at UserSettingsPath, or, without a usable
// folder for it, a store in memory that nothing saves (the run works on the
// defaults and keeps what it would save to itself).
class UserSettings {
  public:
    UserSettings();
    UserSettings(const UserSettings&) = delete;
    UserSettings& operator=(const UserSettings&) = delete;

    platform::SettingsStore& Store() {
        return file_ ? static_cast<platform::SettingsStore&>(*file_) : keptNowhere_;
    }
    // Whether the run set values that had nowhere to go.
    bool ValuesLost() const { return !file_ && !keptNowhere_.Values().empty(); }

  private:
    std::optional<platform::FileSettingsStore> file_;
    platform::MemorySettingsStore keptNowhere_;
};

// The machine-wide key for this process.
std::string MachineSettingsPath();

// The choice above for a given executable and value of the variable (null
// when it is not set).
std::string MachineSettingsPathFor(std::string_view executablePath, const char* override);

// The built-in locations, for tests and diagnostics.
std::string BuildTreeMachineSettingsPath();
std::string InstalledMachineSettingsPath();

}  // namespace quillon::settings
