#pragma once

#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "engine/correction_settings.h"
#include "engine/run_correction.h"
#include "engine/worker_pool.h"
#include "imageio/image_file.h"
#include "platform/message_sink.h"

// Correcting the photo in work at full size and writing it: the step the
// quiet mode, the editor's OK and the folder browser's Apply share, and the
// work a busy indicator runs.

namespace quillon::app {

// How many progress stages (each remap and the vignetting) a correction of
// these steps is expected to run, for the busy window's progress bar.
std::int32_t ExpectedStages(const engine::ActiveCorrections& steps);

struct FullCorrection {
    const std::string& path;  // of the photo read; the output path follows from options
    imageio::ImageFileOptions options;
    // The values to correct with; crop shifts the correction had to limit are
    // adopted into them, as a window would show them.
    engine::CorrectionSettings& values;
    // Whether the photo's pixels are needed afterwards (a window shows them
    // still). When not (the quiet mode), the correction may spend them and so
    // holds no second copy of the photo.
    engine::SourceUse sourceUse = engine::SourceUse::kKeep;
};

// Corrects state.current.image into its output and writes it. 0 when the file
// was written; otherwise 1 after the failing step's message.
int CorrectAndSave(AppState& state, const FullCorrection& job, platform::MessageSink& sink,
                   engine::WorkProgress& progress);

}  // namespace quillon::app
