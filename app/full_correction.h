#pragma once

#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "engine/correction_settings.h"
#include "engine/worker_pool.h"
#include "imageio/image_file.h"
#include "platform/message_sink.h"

// Correcting the photo in work at full size and writing it: the step the
// quiet mode, the editor's OK and the folder browser's Apply share, and the
// work a busy indicator runs.

namespace quillon::app {

// How many progress stages (each remap and the vignetting) a correction with
// these values is expected to run, for the busy window's progress bar.
std::int32_t ExpectedStages(const engine::CorrectionSettings& values,
                            const lensdb::LensSelection& selection);

struct FullCorrection {
    const std::string& path;  // of the photo read; the output path follows from options
    imageio::ImageFileOptions options;
    // The values to correct with; crop shifts the correction has to limit
    // are written back.
    engine::CorrectionSettings& values;
    // False when the source pixels are not needed afterwards (the quiet
    // mode): the correction then keeps no backup of them.
    bool keepSource = true;
};

// Corrects state.current.image into its output and writes it. 0 when the file
// was written; otherwise 1 after the failing step's message.
int CorrectAndSave(AppState& state, const FullCorrection& job, platform::MessageSink& sink,
                   engine::WorkProgress& progress);

}  // namespace quillon::app
