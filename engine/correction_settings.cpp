#include "engine/correction_settings.h"

#include <algorithm>
#include <cmath>

namespace quillon::engine {

std::int32_t ClampCorChoice(std::int32_t value) {
    if (value < 0) return kCorrectDistortion;
    return std::min(value, kCorrectNeither);
}

std::int32_t ClampFisheyeDistortion(std::int32_t value) {
    return std::clamp(value, kFisheyeDistortionMin, kFisheyeDistortionMax);
}

void ResetCorrectionValues(CorrectionSettings& settings) {
    CorrectionSettings reset;
    reset.CorChoice = settings.CorChoice;
    reset.FisheyeDistortion = settings.FisheyeDistortion;
    reset.Processors = settings.Processors;
    reset.Resize = settings.Resize;
    settings = reset;
}

void ClampToRanges(CorrectionSettings& s) {
    s.CorChoice = ClampCorChoice(s.CorChoice);
    s.VigAmount = std::clamp(s.VigAmount, -100, 100);
    s.VigMidpoint = std::clamp(s.VigMidpoint, 0, 100);
    s.CaRed = std::clamp(s.CaRed, -100, 100);
    s.CaBlue = std::clamp(s.CaBlue, -100, 100);
    s.FisheyeDistortion = ClampFisheyeDistortion(s.FisheyeDistortion);
    s.FisheyeCrop = std::clamp(s.FisheyeCrop, 0, 50);
    s.FisheyeRotate = std::clamp(s.FisheyeRotate, -50, 50);
    s.FisheyeHorz = std::clamp(s.FisheyeHorz, -50, 50);
    s.FisheyeVert = std::clamp(s.FisheyeVert, -50, 50);
    s.PerspectVert = std::clamp(s.PerspectVert, -100, 100);
    s.PerspectHorz = std::clamp(s.PerspectHorz, -100, 100);
    s.PerspectRotate = std::clamp(s.PerspectRotate, -100, 100);
    s.PerspectScale = std::clamp(s.PerspectScale, 75, 125);
    s.Resize = std::clamp(s.Resize, 0, 1);
    s.Processors = ClampProcessors(s.Processors);
}

namespace {

float Cubic(float a, float b, float c, float r) { return ((a * r + b) * r + c) * r; }

}  // namespace

float ComputeConstantTerm(float a, float b, float c, bool resize, std::int32_t width,
                          std::int32_t height, bool inverted) {
    if (inverted) {
        a = -a;
        b = -b;
        c = -c;
    }
    if (!resize || width <= 0 || height <= 0) return 1.0f - (a + b + c);

    const float g =
        static_cast<float>(std::max(width, height)) / static_cast<float>(std::min(width, height));
    const float h = std::sqrt(g * g + 1.0f);  // the corner radius
    float largest = std::max(Cubic(a, b, c, 1.0f), Cubic(a, b, c, h));
    auto consider = [&](float r) {
        // NaN (no real turning point) fails both comparisons and is skipped.
        if (r >= 1.0f && r <= h) largest = std::max(largest, Cubic(a, b, c, r));
    };
    if (a != 0.0f) {
        const float root = std::sqrt(b * b - 3.0f * a * c);
        consider((-b + root) / (3.0f * a));
        consider((-b - root) / (3.0f * a));
    } else if (b != 0.0f) {
        consider(-c / (2.0f * b));
    }
    return 1.0f - largest;
}

}  // namespace quillon::engine
