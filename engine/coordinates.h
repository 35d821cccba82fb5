#pragma once

#include <algorithm>
#include <cstdint>

// About coordinate systems
// ------------------------
// Every geometric correction here is an inverse mapping. We never push source
// pixels forward (that leaves holes and piles); instead, for each destination
// pixel a chain of stages (a TransformStack) answers "where in the source does
// this pixel's colour come from?", and the resampler interpolates the source
// there. A stage therefore receives a destination point and returns a source
// point, and the stages of a stack run from the destination end towards the
// source end. Reading a stack top to bottom is reading the path of a ray back
// through the optics, which is why a shift listed first acts on destination
// coordinates and a resize listed last acts on source coordinates.
//
// Points are centred pixel coordinates: x grows to the right, y grows with the
// row index (downward), and the origin is the centre of the image, which for an
// even side lies between two pixels. Pixel centres sit on whole columns, so
//     x = column - (W / 2 - 0.5),    y = row - (H / 2 - 0.5).
// The centre is the one point every radial model must keep, and centring makes
// destination and source of different sizes share it without further offsets.
// A stack gets the destination's centred point and returns the source's centred
// point; stages in between may use other units (angles, a focal distance).
//
// Radial models measure distance in units of half the shorter side of the
// source: r = sqrt(x^2 + y^2) / (min(W, H) / 2). So r = 1 at the middle of the
// two long edges (the edges nearest the centre) and the corners lie at
// r = sqrt(W^2 + H^2) / min(W, H). Calibration data is stored in these units, so
// the same coefficients serve a full-size image and its reduced preview, and a
// model whose scale is 1 at r = 1 keeps the long edges in place.
//
// A source position is usable when -1 <= x < W and -1 <= y < H in pixel
// (uncentred) units: the cubic kernel then still has at least one real pixel
// under its central weights, and the border pixels are repeated for the rest.
// Anything outside becomes black (zero) in the channels being written.

namespace quillon::engine {

struct Point {
    double x = 0.0;
    double y = 0.0;
};

// The centred coordinate of pixel index 0 along a side is -CentreOffset(side).
inline double CentreOffset(std::int32_t side) { return side / 2.0 - 0.5; }

// Half the shorter side: the unit of the normalised radius.
inline double RadiusUnit(std::int32_t width, std::int32_t height) {
    return std::min(width, height) * 0.5;
}

}  // namespace quillon::engine
