#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"
#include "engine/correction_settings.h"
#include "lensdb/lens_history.h"
#include "platform/message_sink.h"
#include "platform/settings_store.h"
#include "settings/settings_values.h"

// Loading all persistent state at start and saving it back. Values are read
// and written in a fixed order: the first-run language question needs the
// number of processors, and stored files from every earlier version must keep
// loading the same way.

namespace quillon::settings {

// The machine-wide key holds only the installation folder; the per-user key
// everything else.
struct SettingsStores {
    const platform::SettingsStore& machine;
    const platform::SettingsStore& user;
};

// Everything a load or save needs that is not a stored value: which
// deliverable and window it serves, and the steps other parts perform in the
// middle of the sequence.
struct SettingsRun {
    Deliverable deliverable = Deliverable::kProgram;
    WindowMode mode = WindowMode::kInteractive;  // the program's window of this run

    // Asked when no language is stored (the first-run dialog): sets the
    // language and may change the number of processors. Nothing is stored
    // until the next save. Without it the language becomes "English", as when
    // the user dismisses the dialog.
    std::function<void(std::string& language, std::int32_t& processors)> chooseLanguage;

    // Plug-in only: the host's recorded parameters replace the stored values
    // they name (the last step of a load) and receive the values in use (the
    // last step of a full save).
    std::function<void(SettingsValues&, engine::CorrectionSettings&)> readScriptParameters;
    std::function<void(const SettingsValues&, const engine::CorrectionSettings&)>
        writeScriptParameters;
};

// The lens history in memory, most recent first.
using LensHistoryList = lensdb::LensHistory;

// Load results.
inline constexpr int kRootMissing = 1;
inline constexpr int kHistoryOutOfMemory = 2;

// Exit code of the program when its settings cannot be loaded. The run did
// nothing a caller asked for, so it must not look like success to a script
// that ran a quiet correction.
inline constexpr int kSettingsLoadFailedExitCode = 1;

// Fills `values`, `correction` and `history` from the stores; missing values
// take their defaults silently. Answers kRootMissing after "Please re-install
// Quillon (code 01)" when the installation folder is not recorded: the program
// stops there, while the plug-in goes on (and finds its files without a
// folder). Answers kHistoryOutOfMemory when a history entry cannot be held.
Status LoadSettings(const SettingsStores& stores, const SettingsRun& run,
                    platform::MessageSink& sink, SettingsValues& values,
                    engine::CorrectionSettings& correction, LensHistoryList& history);

enum class SaveScope {
    kPreferences,  // only the values of the Options dialog
    kEverything,   // also the history, the correction values and the window size
};

// Writes the values back; each failed write shows its message and the save
// goes on with the next value. Answers 1 when anything failed.
Status SaveSettings(platform::SettingsStore& user, const SettingsRun& run,
                    platform::MessageSink& sink, const SettingsValues& values,
                    const engine::CorrectionSettings& correction, const LensHistoryList& history,
                    SaveScope scope);

}  // namespace quillon::settings
