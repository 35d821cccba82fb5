#pragma once

#include <cstdint>

// Where the reduced preview sits in the preview area: as large as the area
// allows with one pixel free on every side for the frame, never larger than
// the image itself, with the image's aspect ratio, centred.

namespace quillon::preview {

struct PreviewPlacement {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t left = 0;  // offset of the preview inside the area
    std::int32_t top = 0;

    bool Empty() const { return width <= 0 || height <= 0; }
};

// The fitted preview for an image of imageWidth x imageHeight in an area of
// areaWidth x areaHeight. Both sides are at least 1 for a non-empty image and
// an area with room inside its frame; otherwise the placement is empty.
PreviewPlacement FittedPreviewSize(std::int32_t areaWidth, std::int32_t areaHeight,
                                   std::int32_t imageWidth, std::int32_t imageHeight);

}  // namespace quillon::preview
