#pragma once

#include <cstdint>
#include <vector>

#include "preview/display_image.h"

// The alignment grid over the preview. Its slider runs from 16 (no grid) to
// 64; a value g draws lines 80 - g pixels apart, laid out from the middle of
// the preview so the centre lines sit where a straight edge is judged, with
// the centre cross drawn two pixels wide.

namespace quillon::preview {

inline constexpr std::int32_t kGridOff = 16;
inline constexpr std::int32_t kGridMax = 64;

// Line spacing in pixels for a grid value; 0 for no grid (16 or below).
std::int32_t GridSpacing(std::int32_t gridValue);

// The rows (or columns) of the lines across a preview `size` pixels high (or
// wide) at `spacing`, in ascending order, only those inside 0 .. size - 1:
// with f = size / 2 and h = f / spacing, the lines f - h * spacing, ...,
// f + h * spacing (the last left out when size is a multiple of spacing), and
// f - 1 for the second pixel of the centre line.
std::vector<std::int32_t> GridLinePositions(std::int32_t size, std::int32_t spacing);

// Draws the grid of `gridValue` into the display image in `colour`.
void DrawGrid(DisplayImage& display, std::int32_t gridValue, Rgb colour);

}  // namespace quillon::preview
