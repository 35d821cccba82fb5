#pragma once

#include <cstdint>

#include "engine/fisheye_maps.h"
#include "engine/remap.h"
#include "engine/transform_stack.h"

// The lens correction and the fisheye conversion both run as up to three
// remap passes, each writing some of the channels through a stack of its own:
// equal channels share a pass, and channels that no pass writes are copied.

namespace quillon::engine {

// The passes of one geometric correction: optionally a centred copy of the
// source first (for channels no pass writes), then `count` passes in order.
struct PassPlan {
    bool copyFirst = false;
    std::int32_t count = 0;
    ChannelPass passes[3] = {ChannelPass::kAll, ChannelPass::kAll, ChannelPass::kAll};
};

// The stack of one pass with the parameter blocks its stages point into; each
// kind of correction fills the blocks of its own stages. Not copyable: the
// stack refers to the blocks inside this object.
struct PassStack {
    ShiftParams horizontal;
    ShiftParams vertical;
    RadialScaleParams radial;
    ScaleXYParams scale;
    RectToErectParams rectToErect;
    RotateErectParams rotateErect;
    ErectToFisheyeParams erectToFisheye;
    RotateSphereParams rotateSphere;
    TransformStack stack;

    PassStack() = default;
    PassStack(const PassStack&) = delete;
    PassStack& operator=(const PassStack&) = delete;
};

}  // namespace quillon::engine
