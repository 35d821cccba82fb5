#include "engine/perspective_maps.h"

#include <cmath>
#include <numbers>

namespace quillon::engine {
namespace {
constexpr double kDegToRad = std::numbers::pi / 180.0;
constexpr double kFieldOfViewDeg = 90.0;
constexpr double kBehindCamera = 1e9;
}  // namespace

PerspectiveAngles PerspectiveAnglesFromSettings(int perspectVert, int perspectHorz,
                                                int perspectRotate) {
    PerspectiveAngles angles;
    // Negated as doubles: the plug-in's recorded values reach here unchecked,
    // and the smallest int has no negation.
    angles.yawDeg = -(perspectHorz * 0.3333333333333333);
    angles.pitchDeg = perspectVert * 0.3333333333333333;
    angles.rollDeg = -(perspectRotate * 0.1);
    return angles;
}

PerspectiveParams MakePerspectiveParams(std::int32_t canvasWidth, const PerspectiveAngles& angles) {
    PerspectiveParams p;
    p.distance = canvasWidth / (2.0 * std::tan(kFieldOfViewDeg / 2.0 * kDegToRad));
    p.rotation = RotationMatrix(angles.pitchDeg * kDegToRad, angles.yawDeg * kDegToRad,
                                angles.rollDeg * kDegToRad, RotationOrder::kZxy);
    const Matrix3& m = p.rotation;
    p.offsetX = p.distance * m[0][2] / m[2][2];
    p.offsetY = p.distance * m[1][2] / m[2][2];
    return p;
}

Point PerspectiveHomographyPoint(const PerspectiveParams& params, Point p) {
    const Matrix3& m = params.rotation;
    const double d = params.distance;
    const double x = p.x + params.offsetX;
    const double y = p.y + params.offsetY;
    const double q = x * m[0][2] + y * m[1][2] + d * m[2][2];
    // A point at or behind the virtual camera sees nothing of the canvas; the
    // formula would mirror it onto the picture, so send it far outside.
    if (!(q > 0.0)) return {kBehindCamera, kBehindCamera};
    return {d * (x * m[0][0] + y * m[1][0] + d * m[2][0]) / q,
            d * (x * m[0][1] + y * m[1][1] + d * m[2][1]) / q};
}

}  // namespace quillon::engine
