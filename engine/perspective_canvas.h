#pragma once

#include <cstdint>

#include "base/image_buffer.h"

// Perspective and scale work on a canvas 4/3 as wide and as high as the image,
// so tilted edges have somewhere to go; afterwards a window of the image's own
// size is cut out of it, optionally shifted. A canvas is only a description: it
// names the pixel block of one of the image buffers, which is why those blocks
// are allocated 16/9 as large as the image.

namespace quillon::engine {

inline constexpr double kCanvasFactor = 1.3333333333333333;
inline constexpr double kCanvasAreaFactor = 1.7777777777777777;

// Canvas sides for an image side (truncated).
std::int32_t CanvasSide(std::int32_t imageSide);

// The canvas description for `image`, pointed at `pixels`.
ImageBuffer DescribeCanvas(const ImageBuffer& image, std::uint8_t* pixels);

// Moves the image, whose pixels lie at the start of the canvas's own block,
// into the middle of the canvas and blackens the margin around it.
void PlaceOnCanvas(const ImageBuffer& canvas, const ImageBuffer& image);

// Copies the image-sized window out of the canvas into `destination`. The
// shifts are in steps of 1/300 of the image side; a shift that would leave the
// canvas is limited and written back limited. `destination` may name the
// canvas's own block.
void CropToImage(const ImageBuffer& destination, const ImageBuffer& canvas, int& perspectShiftHorz,
                 int& perspectShiftVert);

}  // namespace quillon::engine
