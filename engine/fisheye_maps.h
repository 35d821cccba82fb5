#pragma once

#include <cstdint>

#include "engine/coordinates.h"
#include "engine/rotation.h"

// The coordinate maps of the fisheye conversion, destination to source like
// every stage of the engine. A rectilinear output point goes to longitude and
// latitude (both scaled by the distance d, so one unit is still about one output
// pixel near the centre), is turned about the vertical axis by the yaw, becomes
// an equidistant fisheye point (radius = d times the angle from the viewing
// axis), and is turned on the sphere by the pitch and roll.

namespace quillon::engine {

struct RectToErectParams {
    double distance = 1.0;
};
struct RotateErectParams {
    double halfTurn = 1.0;  // w = pi * d: the longitude range is [-w, w]
    double shift = 0.0;     // -yaw * pi / 180 * d
};
struct ErectToFisheyeParams {
    double distance = 1.0;
};
struct RotateSphereParams {
    Matrix3 rotation{};
    double distance = 1.0;
};

Point RectToErectPoint(const RectToErectParams& params, Point p);
Point RotateErectPoint(const RotateErectParams& params, Point p);
Point ErectToFisheyePoint(const ErectToFisheyeParams& params, Point p);
Point RotateSpherePoint(const RotateSphereParams& params, Point p);

// Field of view (degrees) of the fisheye image across its width: the setting is
// the field along the long side, so a portrait frame gets the share of its
// width.
double FisheyeSourceHfov(std::int32_t width, std::int32_t height, int fisheyeDistortion);

// Field of view (degrees) of the rectilinear output across its width, never
// below 1 degree. A portrait output keeps the requested field along its long
// side, which in a rectilinear image is not proportional to the side lengths.
double FisheyeOutputHfov(std::int32_t width, std::int32_t height, int fisheyeDistortion,
                         int fisheyeCrop);

}  // namespace quillon::engine
