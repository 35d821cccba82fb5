#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/correction_settings.h"
#include "engine/pass_plan.h"
#include "engine/remap.h"
#include "engine/worker_pool.h"

// Radial distortion, per-channel radial scale (chromatic aberration), channel
// shifts and resize, run as few remap passes as the channels allow: channels
// with equal terms share a pass and neutral channels are copied, not resampled.

namespace quillon::engine {

// Plans the passes for `request`; a request with nothing enabled gets no passes.
PassPlan PlanChannelPasses(const LensCorrectionRequest& request);

// The stack of one pass, stages only where enabled: horizontal shift, vertical
// shift, radial scale, resize (in `scale`).
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

// A distortion correction by a, b, c (d as ComputeConstantTerm gives it
// without resize) of a width x height image, in its one pass, built as a
// correction builds it: what the remap's tests and benchmarks run.
void BuildDistortionStack(float a, float b, float c, std::int32_t width, std::int32_t height,
                          PassStack& out);

}  // namespace quillon::engine
