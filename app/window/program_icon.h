#pragma once

#include <QPainter>
#include <string>

// The program's icon: a lens seen from the front over a grid of straight
// lines, the picture of what the program makes of a distorted photo. One
// description of its shapes gives both the drawing in code (the windows'
// icon, and the PNG files the build writes for the desktop) and the SVG file
// of the installed icon, so the two cannot drift apart.

namespace quillon::app {

// Paints the icon into the square (0, 0, side, side).
void PaintProgramIcon(QPainter& painter, double side);

// The same icon as an SVG document.
std::string ProgramIconSvg();

}  // namespace quillon::app
