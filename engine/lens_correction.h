#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/correction_settings.h"
#include "engine/remap.h"
#include "engine/worker_pool.h"

// Radial distortion, per-channel radial scale (chromatic aberration), channel
// shifts and resize, run as few remap passes as the channels allow: channels
// with equal terms share a pass and neutral channels are copied, not resampled.

namespace quillon::engine {

// The passes of one lens correction: optionally a centred copy of the source
// first (for channels no pass writes), then `count` passes in order.
struct PassPlan {
    bool copyFirst = false;
    std::int32_t count = 0;
    ChannelPass passes[3] = {ChannelPass::kAll, ChannelPass::kAll, ChannelPass::kAll};
};

// Plans the passes for `request`; a request with nothing enabled gets no passes.
PassPlan PlanChannelPasses(const LensCorrectionRequest& request);

// The stack of one pass (stages only where enabled: horizontal shift, vertical
// shift, radial scale, resize) and the parameter blocks it points into. Not
// copyable: the stack refers to the blocks inside this object.
struct PassStack {
    ShiftParams horizontal;
    ShiftParams vertical;
    RadialScaleParams radial;
    ScaleXYParams resize;
    TransformStack stack;

    PassStack() = default;
    PassStack(const PassStack&) = delete;
    PassStack& operator=(const PassStack&) = delete;
};
void BuildPassStack(const LensCorrectionRequest& request, int channel, const ImageBuffer& source,
                    PassStack& out);

// The lens-correction tool: runs `request` from `source` into `destination`.
// Nothing enabled: succeeds without touching the destination. A failing pass
// ends it; later passes do not run.
Status RunLensCorrectionTool(const LensCorrectionRequest& request, const ImageBuffer& source,
                             const ImageBuffer& destination, EngineContext& context);

// The request RunLensCorrection builds from the settings and the lens model.
LensCorrectionRequest MakeLensCorrectionRequest(const ImageBuffer& destination,
                                                const ImageBuffer& source, bool withCA,
                                                bool withDistortion, bool withResize,
                                                const CorrectionSettings& settings,
                                                const LensModel& lens);

// Distortion (a, b, c, d of `lens`), chromatic aberration (CaRed, CaBlue) and
// resize (PerspectScale) from `source` into `destination` (same pixel format).
Status RunLensCorrection(const ImageBuffer& destination, const ImageBuffer& source, bool withCA,
                         bool withDistortion, bool withResize, const CorrectionSettings& settings,
                         const LensModel& lens, EngineContext& context);

}  // namespace quillon::engine
