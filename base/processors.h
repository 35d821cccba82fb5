#pragma once

#include <algorithm>
#include <cstdint>

// The Processors setting: how many threads correct an image, the calling one
// included. One rule brings a stored or typed value into range, wherever it
// comes from: the settings file, the Options and language dialogs, the
// plug-in's stored values.

namespace quillon {

inline constexpr std::int32_t kMinProcessors = 1;
inline constexpr std::int32_t kMaxProcessors = 64;

// 0 or less becomes 1, above 64 becomes 64.
constexpr std::int32_t ClampProcessors(std::int32_t value) {
    return std::clamp(value, kMinProcessors, kMaxProcessors);
}

}  // namespace quillon
