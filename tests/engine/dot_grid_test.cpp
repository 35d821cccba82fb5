#include <cmath>

#include <gtest/gtest.h>

#include "engine/correction_settings.h"
#include "engine/lens_correction.h"
#include "tests/engine/engine_test_support.h"

namespace quillon::engine {
namespace {

using testing::Engine;
using testing::TestImage;

// A grid of round dots is corrected with a known barrel model; every dot must
// land where the model sends it. This checks the whole chain at once: the
// centring of both images, the normalisation of the radius, the direction of
// the mapping (destination to source) and the kernel's positioning.
TEST(DotGridTest, DotsLandWhereTheModelPredicts) {
    constexpr std::int32_t kW = 400, kH = 300;
    constexpr double kSigma = 1.6;
    const LensModel lens{0.02f, -0.06f, 0.03f,
                         ComputeConstantTerm(0.02f, -0.06f, 0.03f, false, kW, kH)};
    const double radius = kH / 2.0;
    const double cx = kW / 2.0 - 0.5, cy = kH / 2.0 - 0.5;

    for (const std::int32_t bits : {24, 48}) {
        const double peak = bits == 24 ? 250.0 : 64000.0;
        // Dot centres in source pixel coordinates, off the pixel grid so that
        // rounding cannot hide an error of half a pixel.
        std::vector<std::pair<double, double>> dots;
        for (double y = 22.3; y < kH - 20; y += 32.0) {
            for (double x = 21.7; x < kW - 20; x += 32.0) dots.emplace_back(x, y);
        }
        TestImage source(kW, kH, bits);
        source.Fill([&](std::int32_t x, std::int32_t y, int) {
            double v = 0.0;
            for (const auto& [dx, dy] : dots) {
                const double r2 = (x - dx) * (x - dx) + (y - dy) * (y - dy);
                if (r2 < 100.0) v += peak * std::exp(-r2 / (2 * kSigma * kSigma));
            }
            return static_cast<std::uint32_t>(std::lround(std::fmin(v, peak)));
        });

        Engine engine(2);
        EngineContext context = engine.Context();
        TestImage destination(kW, kH, bits);
        ASSERT_TRUE(RunLensCorrection(destination.buffer(), source.buffer(), false, true, false,
                                      CorrectionSettings{}, lens, context)
                        .ok());

        int measured = 0;
        for (const auto& [sx, sy] : dots) {
            // The model takes destination offset p to p * s(|p| / R); find
            // the p that reaches this dot by Newton's method on the scale.
            const double qx = sx - cx, qy = sy - cy;
            const double q = std::hypot(qx, qy);
            auto scale = [&](double r) {
                return ((lens.a * r + lens.b) * r + lens.c) * r + lens.d;
            };
            auto miss = [&](double t) { return t * scale(t * q / radius) - 1.0; };
            double t = 1.0;  // p = t * q
            for (int i = 0; i < 50; ++i) {
                const double h = 1e-7;
                t -= miss(t) * h / (miss(t + h) - miss(t));
            }
            ASSERT_NEAR(miss(t), 0.0, 1e-12);
            const double px = t * qx + cx, py = t * qy + cy;
            if (px < 8 || py < 8 || px > kW - 9 || py > kH - 9) continue;

            double sum = 0.0, mx = 0.0, my = 0.0;
            for (std::int32_t y = static_cast<std::int32_t>(py) - 6;
                 y <= static_cast<std::int32_t>(py) + 7; ++y) {
                for (std::int32_t x = static_cast<std::int32_t>(px) - 6;
                     x <= static_cast<std::int32_t>(px) + 7; ++x) {
                    const double v = destination.At(x, y, 1);
                    sum += v;
                    mx += v * x;
                    my += v * y;
                }
            }
            ASSERT_GT(sum, 0.0);
            EXPECT_NEAR(mx / sum, px, 0.1) << "dot at " << sx << "," << sy << " bits " << bits;
            EXPECT_NEAR(my / sum, py, 0.1) << "dot at " << sx << "," << sy << " bits " << bits;
            ++measured;
        }
        EXPECT_GT(measured, 90);
    }
}

}  // namespace
}  // namespace quillon::engine
