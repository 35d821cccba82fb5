#pragma once

#include "base/pixel_block.h"

namespace quillon::engine {

// The pixel blocks behind one image (full size or preview), owned by the
// program state: `source` holds the image as read, `work` the corrected image
// that RunCorrection writes. The memory a correction works in besides these is
// the caller's CorrectionScratch (run_correction.h).
struct ImageBlocks {
    PixelBlock source;
    PixelBlock work;
};

}  // namespace quillon::engine
