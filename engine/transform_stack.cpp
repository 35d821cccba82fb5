#include "engine/transform_stack.h"

#include <cmath>

namespace quillon::engine {

bool TransformStack::Add(StageFunction function, const void* params) {
    if (function == nullptr || size_ >= kCapacity) return false;
    stages_[size_] = TransformStage{function, params};
    ++size_;
    stages_[size_] = TransformStage{};
    return true;
}

bool TransformStack::AddStack(const TransformStack& inner) {
    if (&inner == this) return false;  // a stack inside itself would never end
    return Add(static_cast<Point (*)(Point, const void*)>(&ExecuteStack), &inner);
}

Point ExecuteStack(Point p, const void* params) {
    const auto* stack = static_cast<const TransformStack*>(params);
    for (const TransformStage* stage = stack->stages(); stage->function != nullptr; ++stage) {
        p = stage->function(p, stage->params);
    }
    return p;
}

Point ShiftX(Point p, const void* params) {
    return {p.x + static_cast<const ShiftParams*>(params)->shift, p.y};
}

Point ShiftY(Point p, const void* params) {
    return {p.x, p.y + static_cast<const ShiftParams*>(params)->shift};
}

Point RadialScale(Point p, const void* params) {
    const auto* radial = static_cast<const RadialScaleParams*>(params);
    const RadialTerms& t = radial->terms;
    const double r = std::sqrt(p.x * p.x + p.y * p.y) / radial->radius;
    const double s = r < t.limit ? ((t.c3 * r + t.c2) * r + t.c1) * r + t.c0 : 1000.0;
    return {s * p.x, s * p.y};
}

Point ScaleXY(Point p, const void* params) {
    const auto* scale = static_cast<const ScaleXYParams*>(params);
    return {p.x * scale->sx, p.y * scale->sy};
}

}  // namespace quillon::engine
