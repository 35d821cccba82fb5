#pragma once

#include <cstdint>

#include "base/image_buffer.h"

// Perspective and scale work on a canvas 4/3 as wide and as high as the image,
// so tilted edges have somewhere to go; afterwards a window of the image's own
// size is cut out of it, optionally shifted. A canvas is only a description of
// a block 16/9 as large as the image.

namespace quillon::engine {

inline constexpr double kCanvasFactor = 1.3333333333333333;
inline constexpr double kCanvasAreaFactor = 1.7777777777777777;

// Canvas sides for an image side (truncated).
std::int32_t CanvasSide(std::int32_t imageSide);

// The canvas description for `image`, pointed at `pixels`.
ImageBuffer DescribeCanvas(const ImageBuffer& image, std::uint8_t* pixels);

// Moves the image into the middle of the canvas and blackens the margin
// around it. The image either lies at the start of the canvas's own block
// (it is moved in place) or in a block of its own (it is copied).
void PlaceOnCanvas(const ImageBuffer& canvas, const ImageBuffer& image);

// The crop shifts PerspectShiftHorz and PerspectShiftVert, in steps of 1/300
// of the image's width and height.
struct CropShifts {
    std::int32_t horizontal = 0;
    std::int32_t vertical = 0;

    friend bool operator==(const CropShifts&, const CropShifts&) = default;
};

// Where the image-sized window lies in the canvas. A shift that would leave
// the canvas is limited to its margin; `shifts` are then the settings that
// name the limited window, so a control can show where the window really is.
struct CropWindow {
    std::int32_t shiftX = 0;  // pixels; positive moves the window left
    std::int32_t shiftY = 0;  // pixels; positive moves the window up
    CropShifts shifts;
    bool limited = false;
};
CropWindow PlanCropWindow(std::int32_t width, std::int32_t height, const ImageBuffer& canvas,
                          CropShifts requested);

// Copies the image-sized window out of the canvas into `destination`.
// `destination` may name the canvas's own block.
void CropToImage(const ImageBuffer& destination, const ImageBuffer& canvas,
                 const CropWindow& window);

}  // namespace quillon::engine
