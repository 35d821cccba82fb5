#pragma once

#include <array>
#include <cstddef>

#include "base/image_buffer.h"
#include "engine/coordinates.h"

// Transform stages map a destination point to a source point (see
// coordinates.h). A stack runs its stages in order, each receiving the previous
// one's output; a stack is itself a stage, so stacks nest. Parameter blocks are
// plain records owned by whoever builds the stack and must outlive the remap
// that uses it; stages only read them, from several threads at once.

namespace quillon::engine {

using StageFunction = Point (*)(Point p, const void* params);

struct TransformStage {
    StageFunction function = nullptr;
    const void* params = nullptr;
};

class TransformStack {
  public:
    // No stack of the engine needs more; Add refuses beyond it.
    static constexpr std::size_t kCapacity = 15;

    // Appends a stage; false (and the stack unchanged) when full or without function.
    [[nodiscard]] bool Add(StageFunction function, const void* params);
    // Appends `inner` as one stage; `inner` must outlive this stack.
    [[nodiscard]] bool AddStack(const TransformStack& inner);

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // The stages followed by an entry without function.
    const TransformStage* stages() const { return stages_.data(); }

  private:
    std::array<TransformStage, kCapacity + 1> stages_{};
    std::size_t size_ = 0;
};

// Runs the stack `params` (a const TransformStack*) on p. An empty stack is the
// identity.
Point ExecuteStack(Point p, const void* params);
inline Point ExecuteStack(Point p, const TransformStack& stack) { return ExecuteStack(p, &stack); }

// x' = x + shift, or y' = y + shift.
struct ShiftParams {
    double shift = 0.0;
};
Point ShiftX(Point p, const void* params);
Point ShiftY(Point p, const void* params);

// Scales the point by s(r) = c0 + c1 r + c2 r^2 + c3 r^3 of its normalised
// radius r = |p| / radius; at and beyond terms.limit the scale is 1000, which
// sends the point far outside any image.
struct RadialScaleParams {
    RadialTerms terms{};
    double radius = 1.0;  // half the shorter side of the source
};
Point RadialScale(Point p, const void* params);

// x' = x * sx, y' = y * sy.
struct ScaleXYParams {
    double sx = 1.0;
    double sy = 1.0;
};
Point ScaleXY(Point p, const void* params);

}  // namespace quillon::engine
