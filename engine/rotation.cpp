#include "engine/rotation.h"

#include <cmath>
#include <cstddef>

namespace quillon::engine {

Matrix3 Multiply(const Matrix3& left, const Matrix3& right) {
    Matrix3 product{};
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (std::size_t k = 0; k < 3; ++k) sum += left[i][k] * right[k][j];
            product[i][j] = sum;
        }
    }
    return product;
}

Matrix3 RotationMatrix(double a, double b, double c, RotationOrder order) {
    const double ca = std::cos(a), sa = std::sin(a);
    const double cb = std::cos(b), sb = std::sin(b);
    const double cc = std::cos(c), sc = std::sin(c);
    const Matrix3 rx{{{1.0, 0.0, 0.0}, {0.0, ca, sa}, {0.0, -sa, ca}}};
    const Matrix3 ry{{{cb, 0.0, -sb}, {0.0, 1.0, 0.0}, {sb, 0.0, cb}}};
    const Matrix3 rz{{{cc, sc, 0.0}, {-sc, cc, 0.0}, {0.0, 0.0, 1.0}}};
    if (order == RotationOrder::kZxy) return Multiply(Multiply(rz, rx), ry);
    return Multiply(Multiply(rx, rz), ry);
}

}  // namespace quillon::engine
