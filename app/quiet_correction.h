#pragma once

#include "app/startup.h"
#include "base/pixel_block.h"
#include "engine/run_correction.h"

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

// Corrects the loaded photo into its output, for a photo that is read once
// and written once (the quiet mode, the plug-in): the correction may spend the
// source pixels, so no second copy of them is ever held, and image.input is
// empty afterwards. Crop shifts that had to be limited are adopted, as a
// window would show them, and so saved with the settings. The correction's
// working blocks come from `scratchMemory`.
Status CorrectFullImage(imageio::CurrentImage& image, const engine::CorrectionInputs& inputs,
                        engine::CorrectionSettings& settings, engine::EngineContext& context,
                        BlockAllocator& scratchMemory = SystemBlockAllocator::Instance());

}  // namespace quillon::app
