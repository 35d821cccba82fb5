#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

// The window's small pictures, drawn in code so the program carries no image
// files: the seven faces of the perspective shift button, the rotation
// buttons, the hand cursors of the zoom view and the program's icon.

namespace quillon::app {

enum class ShiftFace { kUnselected, kTop, kBottom, kLeft, kRight, kCentre, kDisabled };

// 47 x 47: four arrows between the diagonals and a centre square; the pressed
// part is filled with the highlight colour.
QPixmap ShiftButtonFace(ShiftFace face);

enum class ButtonLook { kDisabled, kNormal, kPressed };

// 24 x 24: a three-quarter circle with an arrow head, turning clockwise (the
// 90 degree button) or counter-clockwise (the 270 degree one).
QPixmap RotationFace(bool clockwise, ButtonLook look);

// The zoom view's cursors: an open hand over the region, a closed one while
// the region is dragged.
QCursor HandCursor(bool closed);

// A lens seen from the front, for the window's title bar and task list.
QIcon ProgramIcon();

}  // namespace quillon::app
