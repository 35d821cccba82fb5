#pragma once

#include <cstdint>

#include "base/image_buffer.h"
#include "base/status.h"
#include "engine/correction_settings.h"
#include "engine/fisheye_maps.h"
#include "engine/pass_plan.h"
#include "engine/worker_pool.h"

// Conversion of a full-frame equidistant fisheye image into a rectilinear one,
// with its own yaw, pitch and roll. The coordinate maps are in fisheye_maps.h;
// this file turns them into stages and runs the remap passes.

namespace quillon::engine {

// The maps as transform stages (params: the matching *Params record).
Point RectToErect(Point p, const void* params);
Point RotateErect(Point p, const void* params);
Point ErectToFisheye(Point p, const void* params);
Point RotateSphere(Point p, const void* params);

// The fisheye source description: `fisheye` with its field of view and angles
// from the settings, and, with `withCA`, the red and blue scale terms.
ImageBuffer DescribeFisheyeSource(const ImageBuffer& fisheye, const CorrectionSettings& settings,
                                  bool withCA);
// The rectilinear output description: `output` with its field of view.
ImageBuffer DescribeFisheyeOutput(const ImageBuffer& output, const CorrectionSettings& settings);

// The passes of a conversion: one per channel when the source's lens terms
// make the channels differ (the conversion never shares or copies channels),
// else one pass over all three.
PassPlan PlanFisheyePasses(const LensCorrectionRequest& lens);

// Builds the stack for `output` from `fisheye` (both described as above) using
// the terms of `channel`; false when a field of view is unusable.
[[nodiscard]] bool BuildFisheyeStack(const ImageBuffer& output, const ImageBuffer& fisheye,
                                     int channel, PassStack& out);

// Converts the described `fisheye` into the described `output`.
Status ConvertFisheye(const ImageBuffer& output, const ImageBuffer& fisheye,
                      EngineContext& context);

// Converts `source` into `destination` (same size and format) from the
// Fisheye settings, with chromatic aberration from CaRed and CaBlue when
// `withCA`.
Status RunFisheye(const ImageBuffer& destination, const ImageBuffer& source, bool withCA,
                  const CorrectionSettings& settings, EngineContext& context);

}  // namespace quillon::engine
