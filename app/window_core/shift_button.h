#pragma once

#include <cstdint>

#include "engine/correction_settings.h"

// The perspective shift button: one 47 x 47 square that moves the crop of a
// perspective correction. Where it is pressed decides the direction: the four
// triangles between its diagonals, and a centre square that puts the crop back.

namespace quillon::app {

inline constexpr int kShiftButtonSize = 47;
// A held button repeats its step, after a pause long enough for a single click.
inline constexpr int kShiftFirstRepeatMs = 500;
inline constexpr int kShiftRepeatMs = 25;

enum class ShiftDirection { kNone, kCentre, kTop, kBottom, kLeft, kRight };

// The direction of a press at (x, y), measured from the button's top-left
// corner; kNone outside the square.
ShiftDirection ShiftDirectionAt(int x, int y);

// One step in `direction`: top and bottom move the vertical shift by -1 and +1,
// left and right the horizontal one, the centre sets both to 0. The limits of
// the shifts depend on the image; the correction enforces them.
void ApplyShiftStep(ShiftDirection direction, engine::CorrectionSettings& values);

}  // namespace quillon::app
