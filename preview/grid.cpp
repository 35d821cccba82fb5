#include "preview/grid.h"

#include <algorithm>

namespace quillon::preview {

std::int32_t GridSpacing(std::int32_t gridValue) {
    if (gridValue <= kGridOff) return 0;
    return 80 - std::min(gridValue, kGridMax);
}

std::vector<std::int32_t> GridLinePositions(std::int32_t size, std::int32_t spacing) {
    std::vector<std::int32_t> lines;
    if (size <= 0 || spacing <= 0) return lines;
    const std::int32_t f = size / 2;
    const std::int32_t h = f / spacing;
    std::int32_t last = f + h * spacing;
    if (size % spacing == 0) last -= spacing;
    for (std::int32_t p = f - h * spacing; p <= last; p += spacing) {
        if (p >= 0 && p < size) lines.push_back(p);
    }
    if (f >= 1) lines.push_back(f - 1);  // the centre cross is two pixels wide
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    return lines;
}

void DrawGrid(DisplayImage& display, std::int32_t gridValue, Rgb colour) {
    const std::int32_t spacing = GridSpacing(gridValue);
    if (spacing == 0 || display.empty()) return;
    auto put = [&](std::uint8_t* pixel) {
        pixel[0] = colour.r;
        pixel[1] = colour.g;
        pixel[2] = colour.b;
    };
    for (const std::int32_t y : GridLinePositions(display.height(), spacing)) {
        std::uint8_t* row = display.Row(y);
        for (std::int32_t x = 0; x < display.width(); ++x) put(row + 3 * x);
    }
    const std::vector<std::int32_t> columns = GridLinePositions(display.width(), spacing);
    for (std::int32_t y = 0; y < display.height(); ++y) {
        std::uint8_t* row = display.Row(y);
        for (const std::int32_t x : columns) put(row + 3 * x);
    }
}

}  // namespace quillon::preview
