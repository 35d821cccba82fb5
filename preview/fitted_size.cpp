#include "preview/fitted_size.h"

#include <algorithm>

namespace quillon::preview {

PreviewPlacement FittedPreviewSize(std::int32_t areaWidth, std::int32_t areaHeight,
                                   std::int32_t imageWidth, std::int32_t imageHeight) {
    PreviewPlacement placement;
    const std::int64_t availableWidth = std::min<std::int64_t>(areaWidth - 2, imageWidth);
    const std::int64_t availableHeight = std::min<std::int64_t>(areaHeight - 2, imageHeight);
    if (availableWidth < 1 || availableHeight < 1) return placement;

    // Exact integer arithmetic: a ratio in floating point can land just below
    // a whole number and lose a pixel.
    std::int64_t width = 0;
    std::int64_t height = 0;
    if (availableWidth * imageHeight >= availableHeight * imageWidth) {
        height = availableHeight;
        width = height * imageWidth / imageHeight;
    } else {
        width = availableWidth;
        height = width * imageHeight / imageWidth;
    }
    // A very long image in a small area would otherwise lose a side entirely.
    placement.width = static_cast<std::int32_t>(std::max<std::int64_t>(width, 1));
    placement.height = static_cast<std::int32_t>(std::max<std::int64_t>(height, 1));
    placement.left = (areaWidth - placement.width) / 2;
    placement.top = (areaHeight - placement.height) / 2;
    return placement;
}

}  // namespace quillon::preview
