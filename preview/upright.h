#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "imageio/image_file.h"

// Turning a photo upright by its EXIF orientation value, or by a quarter turn
// the user asks for. Values as the EXIF standard numbers them: 6 = the camera
// was turned clockwise, so the pixels are turned 90 degrees clockwise; 8 = 90
// degrees counter-clockwise; 3 = 180 degrees. The mirrored values (2, 4, 5, 7)
// and every other value leave the pixels alone.

namespace quillon::preview {

inline constexpr int kTurn180 = 3;
inline constexpr int kTurnClockwise = 6;
inline constexpr int kTurnCounterClockwise = 8;

// Whether `orientation` turns the pixels at all.
bool TurnsPixels(int orientation);

// The size of `width` x `height` after turning by `orientation`.
void TurnedSize(int orientation, std::int32_t& width, std::int32_t& height);

// Writes `from` turned by `orientation` (3, 6 or 8) into `to`, which must have
// the turned geometry, the same depth (24 or 48 bits) and other pixels.
void TurnPixels(const ImageBuffer& from, const ImageBuffer& to, int orientation);

// Turns image.input in place (the output description follows: same geometry,
// its own pixels), exchanging width, height and bytes per row for quarter
// turns. The work block serves as the temporary buffer when it can; otherwise
// one is allocated, and when that fails the image stays as it is (false).
// True when the pixels were turned.
bool TurnImage(CurrentImage& image, int orientation);

}  // namespace quillon::preview
