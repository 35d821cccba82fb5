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

// What the user's key held when the run loaded it, in the run's own terms
// (defaults for missing values, ranges applied), before the first-run language
// question and the plug-in's recorded parameters; a save brings it up to date.
// A save writes only the values that differ from it, so that a value changed
// meanwhile by another run or in an editor survives unless this run changed
// it too. The lens history counts as one value: when it changed it is written
// whole. Before a load (`known` false) every value counts as changed.
struct LoadedSettings {
    bool known = false;
    SettingsValues values;
    engine::CorrectionSettings correction;
    LensHistoryList history;
};

// Load results.
inline constexpr int kRootMissing = 1;
inline constexpr int kHistoryOutOfMemory = 2;
// A settings file exists but cannot be read: the run must not work with
// values it cannot see, nor save over them.
inline constexpr int kSettingsUnreadable = 3;

// Fills `values`, `correction`, `history` and `loaded` from the stores;
// missing values take their defaults silently and stored correction values are
// brought into the window's ranges (the plug-in's recorded parameters, read
// last, are taken as they come). Answers kSettingsUnreadable after a message
// naming the file when either key exists but cannot be read, before anything
// is asked or read. Answers kRootMissing after "Please re-install Quillon
// (code 01)" when the installation folder is not recorded: the program stops
// there, while the plug-in goes on (and finds its files without a folder).
// Answers kHistoryOutOfMemory when a history entry cannot be held.
Status LoadSettings(const SettingsStores& stores, const SettingsRun& run,
                    platform::MessageSink& sink, SettingsValues& values,
                    engine::CorrectionSettings& correction, LensHistoryList& history,
                    LoadedSettings& loaded);

// The load's range rules for stored values: a fisheye distortion outside
// 50..170 becomes 50 (as the window sets it), other correction values are
// clamped into their ranges, CorChoice above 2 counts as 2, the grid colour
// keeps its 24 colour bits and a tab outside 0..2 becomes 0.
void BringIntoRanges(SettingsValues& values, engine::CorrectionSettings& correction);

enum class SaveScope {
    kPreferences,  // only the values of the Options dialog
    kEverything,   // also the history, the correction values and the window size
};

// Writes back, in the fixed order, the values of `scope` that differ from
// `loaded`, and then makes `loaded` hold what was written; a full save that
// writes anything also stamps "Order" and "Version". The store merges them
// into what it holds now. Each failed write shows its message and the save
// goes on with the next value. Answers 1 when anything failed.
Status SaveSettings(platform::SettingsStore& user, const SettingsRun& run,
                    platform::MessageSink& sink, const SettingsValues& values,
                    const engine::CorrectionSettings& correction, const LensHistoryList& history,
                    SaveScope scope, LoadedSettings& loaded);

}  // namespace quillon::settings
