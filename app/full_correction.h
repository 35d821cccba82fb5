#pragma once

#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "base/pixel_block.h"
#include "engine/correction_settings.h"
#include "engine/run_correction.h"
#include "engine/worker_pool.h"
#include "imageio/image_file.h"
#include "platform/message_sink.h"

// Correcting the photo in work at full size: the step the quiet mode, the
// plug-in, the editor's OK and the folder browser's Apply share, and the work
// a busy indicator runs.

namespace quillon::app {

// Corrects the loaded photo into its output: plans the correction, readies its
// working blocks (from `scratchMemory`), runs it and adopts crop shifts that
// had to be limited, as a window would show them, and so saved with the
// settings. With SourceUse::kSpend (a photo read once and written once: the
// quiet mode, the plug-in) the correction may spend the source pixels, so no
// second copy of them is ever held, and image.input is empty afterwards; a
// window keeps them (kKeep) to show and correct them again.
Status CorrectFullImage(CurrentImage& image, const engine::CorrectionInputs& inputs,
                        engine::CorrectionSettings& settings, engine::EngineContext& context,
                        BlockAllocator& scratchMemory = SystemBlockAllocator::Instance(),
                        engine::SourceUse sourceUse = engine::SourceUse::kSpend);

// How many progress stages (each remap and the vignetting) a correction of
// these steps is expected to run, for the busy window's progress bar.
std::int32_t ExpectedStages(const engine::ActiveCorrections& steps);

struct FullCorrection {
    const std::string& path;  // of the photo read; the output path follows from options
    imageio::ImageFileOptions options;
    engine::CorrectionSettings& values;  // to correct with; limited crop shifts are adopted
    engine::SourceUse sourceUse = engine::SourceUse::kKeep;
};

// Corrects state.current.image and writes it, counting the progress into
// `progress`: a correction that runs on rows is written while it is remapped
// (CorrectAndSaveStreamed, the same bytes), any other through
// CorrectFullImage and SaveImageFile. 0 when the file was written; otherwise
// 1 after the failing step's message.
int CorrectAndSave(AppState& state, const FullCorrection& job, platform::MessageSink& sink,
                   engine::WorkProgress& progress);

}  // namespace quillon::app
