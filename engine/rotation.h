#pragma once

#include <array>

// Rotations of the viewing direction shared by the perspective correction and
// the fisheye conversion. Points are row vectors multiplied from the left
// (v' = v * M), so the product order below is the order the rotations act in
// reverse.

namespace quillon::engine {

using Matrix3 = std::array<std::array<double, 3>, 3>;

enum class RotationOrder {
    kXzy = 0,  // Rx * Rz * Ry
    kZxy = 1,  // Rz * Rx * Ry
};

// a about the horizontal axis, b about the vertical axis, c about the viewing
// axis; all in radians.
Matrix3 RotationMatrix(double a, double b, double c, RotationOrder order);

Matrix3 Multiply(const Matrix3& left, const Matrix3& right);

}  // namespace quillon::engine
