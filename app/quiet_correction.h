#pragma once

#include "app/startup.h"

// The one-shot correction of the quiet mode: one photo is read, its camera and
// lens are recognised, and it is corrected with the stored correction values
// and written over itself.

namespace quillon::app {

// Exit codes of the quiet correction.
inline constexpr int kQuietCorrected = 0;
inline constexpr int kQuietFailed = 1;
// No lens could be matched: the photo needs a choice by hand in the editor.
inline constexpr int kQuietNeedsEditor = 2;

// Corrects the next path of state.start.fileList. Answers kQuietCorrected,
// kQuietFailed (a message has been shown, the photo is unchanged) or
// kQuietNeedsEditor (the file index has been stepped back so that the editor
// opens the same photo; nothing was written).
int RunQuietCorrection(AppState& state, const ProgramEnvironment& env);

}  // namespace quillon::app
