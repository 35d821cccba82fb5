#include "engine/fisheye_maps.h"

#include <cmath>
#include <numbers>

namespace quillon::engine {
namespace {
constexpr double kPi = std::numbers::pi;
}

Point RectToErectPoint(const RectToErectParams& params, Point p) {
    const double d = params.distance;
    return {d * std::atan2(p.x, d), d * std::atan2(p.y, std::sqrt(d * d + p.x * p.x))};
}

Point RotateErectPoint(const RotateErectParams& params, Point p) {
    const double w = params.halfTurn;
    double x = p.x + params.shift;
    // Longitude is periodic: a yaw that pushes a point past the back of the
    // sphere brings it in from the other side. fmod instead of repeated
    // subtraction, so that no input can keep the loop of a remap busy.
    if (x < -w || x > w) {
        x = std::fmod(x + w, 2.0 * w);
        if (x < 0.0) x += 2.0 * w;
        x -= w;
    }
    return {x, p.y};
}

Point ErectToFisheyePoint(const ErectToFisheyeParams& params, Point p) {
    const double d = params.distance;
    double phi = p.x / d;
    double theta = kPi / 2.0 - p.y / d;
    if (theta < 0.0) {
        theta = -theta;
        phi += kPi;
    }
    if (theta > kPi) {
        theta = 2.0 * kPi - theta;
        phi += kPi;
    }
    const double s = std::sin(theta);
    const double px = s * std::sin(phi);
    const double qy = std::cos(theta);
    const double rho = std::sqrt(qy * qy + px * px);
    // On the viewing axis rho is cos(pi/2) in double precision, about 6e-17, not
    // zero, and the quotients below give the centre. Guard the exact zero anyway:
    // the axis and its antipode have no direction, and the axis maps to the centre.
    if (rho == 0.0) return {0.0, 0.0};
    const double t = d * std::atan2(rho, s * std::cos(phi));
    return {t * px / rho, t * qy / rho};
}

Point RotateSpherePoint(const RotateSphereParams& params, Point p) {
    const double d = params.distance;
    const Matrix3& m = params.rotation;
    const double rho = std::sqrt(p.x * p.x + p.y * p.y);
    const double theta = rho / d;
    const double k = rho == 0.0 ? 0.0 : std::sin(theta) / rho;
    const double v0 = k * p.x;
    const double v1 = k * p.y;
    const double v2 = std::cos(theta);
    const double w0 = v0 * m[0][0] + v1 * m[1][0] + v2 * m[2][0];
    const double w1 = v0 * m[0][1] + v1 * m[1][1] + v2 * m[2][1];
    const double w2 = v0 * m[0][2] + v1 * m[1][2] + v2 * m[2][2];
    const double rhoOut = std::sqrt(w0 * w0 + w1 * w1);
    const double t = rhoOut == 0.0 ? 0.0 : std::atan2(rhoOut, w2) * d / rhoOut;
    return {w0 * t, w1 * t};
}

double FisheyeSourceHfov(std::int32_t width, std::int32_t height, int fisheyeDistortion) {
    if (width >= height || height == 0) return static_cast<double>(fisheyeDistortion);
    return static_cast<double>(fisheyeDistortion) * width / height;
}

double FisheyeOutputHfov(std::int32_t width, std::int32_t height, int fisheyeDistortion,
                         int fisheyeCrop) {
    // In double precision: the plug-in's recorded values reach here unchecked.
    const double longSide = static_cast<double>(fisheyeDistortion) - fisheyeCrop;
    double hfov = longSide;
    if (width < height && height > 0) {
        const double pi = 4.0 * std::atan(1.0);
        const double halfRad = longSide / 2.0 * pi / 180.0;
        hfov = 2.0 * std::atan(std::tan(halfRad) * width / height) * 180.0 / pi;
    }
    return hfov < 1.0 ? 1.0 : hfov;
}

}  // namespace quillon::engine
