#pragma once

#include "base/pixel_block.h"

namespace quillon::engine {

// The pixel blocks behind one image (full size or preview), owned by the
// program state. `source` and `work` back the source and destination
// descriptions handed to RunCorrection; `backup` keeps the source while
// corrections change it in place (empty: no backup, the source is left as the
// corrections changed it, which the plug-in wants for its full image).
struct ImageBlocks {
    PixelBlock source;
    PixelBlock work;
    PixelBlock backup;
    // The blocks hold 16/9 of the image's dataSize, so perspective canvases
    // fit. Set by the preview's set-up, and by the enlargement of a full image.
    bool enlarged = false;
};

}  // namespace quillon::engine
