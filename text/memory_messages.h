#pragma once

#include <string_view>

// The messages of a failed allocation, shown where the allocation failed.
// Which one a user sees says what could not be had.

namespace quillon::text {

// The three refusals of the memory manager, numbered as users have always
// seen them: 1 a table or block that cannot be had (the lens database and
// history; the host's blocks all in use), 2 image data (the pixels of a photo
// and the blocks it carries; a host's refused buffer), 3 a host buffer that
// could not be locked.
inline constexpr std::string_view kAllocMemError1 = "allocMem error 1: out of memory";
inline constexpr std::string_view kAllocMemError2 = "allocMem error 2: out of memory";
inline constexpr std::string_view kAllocMemError3 = "allocMem error 3: out of memory";
// The work memory of a correction step.
inline constexpr std::string_view kInsufficientMemory = "Insufficient memory";
// The two canvases of perspective and scale, first and second.
inline constexpr std::string_view kCanvasOutOfMemory[2] = {
    "Insufficient memory for Perspective adjustments",
    "Insufficient memory for perspective adjustments",
};

}  // namespace quillon::text
