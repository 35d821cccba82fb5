#include "app/window_core/shift_button.h"

namespace quillon::app {

ShiftDirection ShiftDirectionAt(int x, int y) {
    constexpr int kLast = kShiftButtonSize - 1;
    if (x < 0 || y < 0 || x > kLast || y > kLast) return ShiftDirection::kNone;
    if (x >= 16 && x <= 30 && y >= 16 && y <= 30) return ShiftDirection::kCentre;
    // Above the falling diagonal (y < x) lie top and right, split by the
    // rising one (x + y = 46); below it bottom and left.
    if (y < x) return x + y > kLast ? ShiftDirection::kRight : ShiftDirection::kTop;
    return x + y > kLast ? ShiftDirection::kBottom : ShiftDirection::kLeft;
}

void ApplyShiftStep(ShiftDirection direction, engine::CorrectionSettings& values) {
    switch (direction) {
        case ShiftDirection::kTop:
            --values.PerspectShiftVert;
            break;
        case ShiftDirection::kBottom:
            ++values.PerspectShiftVert;
            break;
        case ShiftDirection::kLeft:
            --values.PerspectShiftHorz;
            break;
        case ShiftDirection::kRight:
            ++values.PerspectShiftHorz;
            break;
        case ShiftDirection::kCentre:
            values.PerspectShiftHorz = 0;
            values.PerspectShiftVert = 0;
            break;
        case ShiftDirection::kNone:
            break;
    }
}

}  // namespace quillon::app
