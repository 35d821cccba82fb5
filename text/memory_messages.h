#pragma once

#include <string_view>

// The messages of a failed allocation, shown where the allocation failed.
// Which one a user sees says what could not be had.

namespace quillon::text {

// Tables read at start-up: the lens database, the lens history.
inline constexpr std::string_view kTablesOutOfMemory = "allocMem error 1: out of memory";
// Image data: the pixels of a photo and the blocks it carries.
inline constexpr std::string_view kImageOutOfMemory = "allocMem error 2: out of memory";
// The work memory of a correction step.
inline constexpr std::string_view kInsufficientMemory = "Insufficient memory";
// The two canvases of perspective and scale, first and second.
inline constexpr std::string_view kCanvasOutOfMemory[2] = {
    "Insufficient memory for Perspective adjustments",
    "Insufficient memory for perspective adjustments",
};

}  // namespace quillon::text
