#include "engine/fisheye.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/chromatic_aberration.h"
#include "engine/image_ops.h"

namespace quillon::engine {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegToRad = kPi / 180.0;

bool SameTerms(const RadialTerms& a, const RadialTerms& b) {
    return a.c0 == b.c0 && a.c1 == b.c1 && a.c2 == b.c2 && a.c3 == b.c3;
}

// The lens tool's rule: limits are not compared, disabled parts do not count.
bool ChannelsDiffer(const LensCorrectionRequest& lens) {
    if (lens.radialEnabled &&
        (!SameTerms(lens.radial[1], lens.radial[0]) || !SameTerms(lens.radial[1], lens.radial[2])))
        return true;
    if (lens.verticalEnabled && (lens.verticalShift[1] != lens.verticalShift[0] ||
                                 lens.verticalShift[1] != lens.verticalShift[2]))
        return true;
    if (lens.horizontalEnabled && (lens.horizontalShift[1] != lens.horizontalShift[0] ||
                                   lens.horizontalShift[1] != lens.horizontalShift[2]))
        return true;
    return false;
}

}  // namespace

Point RectToErect(Point p, const void* params) {
    return RectToErectPoint(*static_cast<const RectToErectParams*>(params), p);
}
Point RotateErect(Point p, const void* params) {
    return RotateErectPoint(*static_cast<const RotateErectParams*>(params), p);
}
Point ErectToFisheye(Point p, const void* params) {
    return ErectToFisheyePoint(*static_cast<const ErectToFisheyeParams*>(params), p);
}
Point RotateSphere(Point p, const void* params) {
    return RotateSpherePoint(*static_cast<const RotateSphereParams*>(params), p);
}

ImageBuffer DescribeFisheyeSource(const ImageBuffer& fisheye, const CorrectionSettings& settings,
                                  bool withCA) {
    ImageBuffer source = fisheye;
    source.hfov = FisheyeSourceHfov(fisheye.width, fisheye.height, settings.FisheyeDistortion);
    source.yaw = settings.FisheyeHorz * 0.1;
    source.pitch = settings.FisheyeVert * 0.1;
    source.roll = settings.FisheyeRotate * 0.1;
    source.lens = withCA ? FisheyeChromaticTerms(fisheye.width, fisheye.height, settings.CaRed,
                                                 settings.CaBlue)
                         : LensCorrectionRequest{};
    return source;
}

ImageBuffer DescribeFisheyeOutput(const ImageBuffer& output, const CorrectionSettings& settings) {
    ImageBuffer described = output;
    described.hfov = FisheyeOutputHfov(output.width, output.height, settings.FisheyeDistortion,
                                       settings.FisheyeCrop);
    described.yaw = 0.0;
    described.pitch = 0.0;
    described.roll = 0.0;
    described.lens = LensCorrectionRequest{};
    return described;
}

PassPlan PlanFisheyePasses(const LensCorrectionRequest& lens) {
    PassPlan plan;
    plan.count = 1;
    if (ChannelsDiffer(lens)) {
        plan.count = 3;
        plan.passes[0] = ChannelPass::kRed;
        plan.passes[1] = ChannelPass::kGreen;
        plan.passes[2] = ChannelPass::kBlue;
    }
    return plan;
}

bool BuildFisheyeStack(const ImageBuffer& output, const ImageBuffer& fisheye, int channel,
                       PassStack& out) {
    const double outputHfov = output.hfov;
    const double sourceHfov = fisheye.hfov;
    // A rectilinear view needs 0 < hfov < 180; the fisheye any positive field.
    if (!(outputHfov > 0.0 && outputHfov < 180.0) || !(sourceHfov > 0.0) || output.width <= 0 ||
        fisheye.width <= 0) {
        return false;
    }
    const double h = outputHfov * kDegToRad;
    const double halfTan = std::tan(h / 2.0);
    const double distance = output.width / (2.0 * halfTan);
    const double scale = (outputHfov / sourceHfov) *
                         (static_cast<double>(fisheye.width) / output.width / h) * halfTan * 2.0;

    out.rectToErect.distance = distance;
    out.rotateErect.halfTurn = kPi * distance;
    out.rotateErect.shift = -fisheye.yaw * kPi / 180.0 * distance;
    out.erectToFisheye.distance = distance;
    out.rotateSphere.distance = distance;
    out.rotateSphere.rotation = RotationMatrix(-fisheye.pitch * kDegToRad, 0.0,
                                               -fisheye.roll * kDegToRad, RotationOrder::kXzy);
    out.scale.sx = scale;
    out.scale.sy = scale;
    out.stack = TransformStack{};
    bool added = out.stack.Add(RectToErect, &out.rectToErect) &&
                 out.stack.Add(RotateErect, &out.rotateErect) &&
                 out.stack.Add(ErectToFisheye, &out.erectToFisheye) &&
                 out.stack.Add(RotateSphere, &out.rotateSphere) &&
                 out.stack.Add(ScaleXY, &out.scale);
    if (added && fisheye.lens.radialEnabled) {
        out.radial.terms = fisheye.lens.radial[static_cast<std::size_t>(channel)];
        out.radial.radius = RadiusUnit(fisheye.width, fisheye.height);
        added = out.stack.Add(RadialScale, &out.radial);
    }
    return added;
}

Status ConvertFisheye(const ImageBuffer& output, const ImageBuffer& fisheye,
                      EngineContext& context) {
    QUILLON_RETURN_IF_ERROR(CheckImage(fisheye, context.sink));
    QUILLON_RETURN_IF_ERROR(CheckImage(output, context.sink));
    if (fisheye.bitsPerPixel != output.bitsPerPixel) return StatusCode::kFailed;
    const PassPlan plan = PlanFisheyePasses(fisheye.lens);
    for (std::int32_t i = 0; i < plan.count; ++i) {
        const ChannelPass pass = plan.passes[i];
        PassStack stages;
        if (!BuildFisheyeStack(output, fisheye, PassTermsChannel(pass), stages)) {
            // Only values from outside the window's ranges get here (the
            // plug-in's recorded parameters); the user must learn why nothing
            // was corrected.
            context.sink.Show(
                "Fisheye error: the field of view must lie between 1 and 179 degrees");
            return StatusCode::kFailed;
        }
        QUILLON_RETURN_IF_ERROR(RemapImage(fisheye, output, stages.stack, pass, context));
    }
    return Status::Ok();
}

Status RunFisheye(const ImageBuffer& destination, const ImageBuffer& source, bool withCA,
                  const CorrectionSettings& settings, EngineContext& context) {
    return ConvertFisheye(DescribeFisheyeOutput(destination, settings),
                          DescribeFisheyeSource(source, settings, withCA), context);
}

}  // namespace quillon::engine
