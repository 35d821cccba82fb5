#pragma once

#include <cstdint>

#include "engine/coordinates.h"
#include "engine/rotation.h"

// The perspective correction turns a virtual camera that looks at the canvas
// from `distance` pixels away (a 90 degree field across the canvas width) and
// projects the canvas again. The offsets keep the canvas centre where it was,
// so tilting never moves the middle of the picture.

namespace quillon::engine {

struct PerspectiveParams {
    Matrix3 rotation{};
    double distance = 1.0;
    double offsetX = 0.0;  // x0
    double offsetY = 0.0;  // y0
};

// Angles from the slider values: tilts in thirds of a degree, rotation in
// tenths. Degrees.
struct PerspectiveAngles {
    double pitchDeg = 0.0;
    double yawDeg = 0.0;
    double rollDeg = 0.0;
};
PerspectiveAngles PerspectiveAnglesFromSettings(int perspectVert, int perspectHorz,
                                                int perspectRotate);

PerspectiveParams MakePerspectiveParams(std::int32_t canvasWidth, const PerspectiveAngles& angles);

Point PerspectiveHomographyPoint(const PerspectiveParams& params, Point p);

}  // namespace quillon::engine
