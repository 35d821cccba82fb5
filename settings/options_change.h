#pragma once

#include "engine/correction_settings.h"
#include "platform/message_sink.h"
#include "platform/text_source.h"
#include "settings/settings_io.h"
#include "settings/settings_values.h"

// What closing the Options dialog with OK sets in motion, decided from the
// values before and after it, so that the program's dialog and the plug-in's
// follow one rule.

namespace quillon::settings {

// "Please restart Quillon to apply changes".
inline constexpr int kRestartStringId = 1;

struct OptionsOutcome {
    bool save = false;             // at least one preference changed: save the preferences
    bool loadLanguage = false;     // load the strings of the new language at once
    bool restartRequired = false;  // the correction controls stay disabled until the next start
    bool redetect = false;         // run camera and lens detection again on the current image
};

// Suffix and ViewerPath count only in the program's folder-browser window (the
// editor's dialog has no such fields); AlwaysDisplayDialog only in the
// plug-in, JpegQuality only in the program. A new language or number of
// threads needs a restart; otherwise a change of a detection preference (not
// of Resize) asks for the current image to be detected again.
OptionsOutcome CompareOptions(const SettingsRun& run, const SettingsValues& before,
                              const engine::CorrectionSettings& correctionBefore,
                              const SettingsValues& after,
                              const engine::CorrectionSettings& correctionAfter);

// Tells the user when a restart is needed (string kRestartStringId).
void AnnounceOptionsOutcome(const OptionsOutcome& outcome, const platform::TextSource& texts,
                            platform::MessageSink& sink);

}  // namespace quillon::settings
