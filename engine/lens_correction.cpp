#include "engine/lens_correction.h"

#include <algorithm>
#include <cmath>

#include "engine/chromatic_aberration.h"
#include "engine/image_ops.h"

namespace quillon::engine {

namespace {

bool SameTerms(const RadialTerms& a, const RadialTerms& b) {
    return a.c0 == b.c0 && a.c1 == b.c1 && a.c2 == b.c2 && a.c3 == b.c3;
}

bool ChannelsEqual(const LensCorrectionRequest& r, int i, int j) {
    const auto ui = static_cast<std::size_t>(i);
    const auto uj = static_cast<std::size_t>(j);
    if (r.radialEnabled && !SameTerms(r.radial[ui], r.radial[uj])) return false;
    if (r.verticalEnabled && r.verticalShift[ui] != r.verticalShift[uj]) return false;
    if (r.horizontalEnabled && r.horizontalShift[ui] != r.horizontalShift[uj]) return false;
    return true;
}

bool ChannelNeutral(const LensCorrectionRequest& r, int i) {
    const auto u = static_cast<std::size_t>(i);
    if (r.resizeEnabled) return false;
    if (r.radialEnabled && !SameTerms(r.radial[u], RadialTerms{})) return false;
    if (r.verticalEnabled && r.verticalShift[u] != 0.0) return false;
    if (r.horizontalEnabled && r.horizontalShift[u] != 0.0) return false;
    return true;
}

// A side scaled by `percent`, in double precision and held in int32 range: the
// plug-in's recorded scale reaches here unchecked.
std::int32_t ScaledSide(std::int32_t side, std::int32_t percent) {
    const double scaled = static_cast<double>(side) * percent * 0.01;
    return static_cast<std::int32_t>(std::clamp(scaled, -2147483648.0, 2147483647.0));
}

PassPlan Plan(bool copy, std::initializer_list<ChannelPass> passes) {
    PassPlan plan;
    plan.copyFirst = copy;
    for (ChannelPass pass : passes) plan.passes[plan.count++] = pass;
    return plan;
}

}  // namespace

PassPlan PlanChannelPasses(const LensCorrectionRequest& r) {
    using P = ChannelPass;
    if (!r.radialEnabled && !r.verticalEnabled && !r.horizontalEnabled && !r.resizeEnabled) {
        return PassPlan{};
    }
    constexpr int kR = 0, kG = 1, kB = 2;
    if (ChannelsEqual(r, kG, kR) && ChannelsEqual(r, kG, kB)) return Plan(false, {P::kAll});

    const bool redNeutral = ChannelNeutral(r, kR);
    const bool greenNeutral = ChannelNeutral(r, kG);
    const bool blueNeutral = ChannelNeutral(r, kB);
    if (ChannelsEqual(r, kR, kG)) {
        if (redNeutral) return Plan(true, {P::kBlue});
        if (blueNeutral) return Plan(true, {P::kRedGreen});
        return Plan(false, {P::kRedGreen, P::kBlue});
    }
    if (ChannelsEqual(r, kG, kB)) {
        if (greenNeutral) return Plan(true, {P::kRed});
        if (redNeutral) return Plan(true, {P::kGreenBlue});
        return Plan(false, {P::kGreenBlue, P::kRed});
    }
    if (ChannelsEqual(r, kB, kR)) {
        if (redNeutral) return Plan(true, {P::kGreen});
        if (greenNeutral) return Plan(true, {P::kRedBlue});
        return Plan(false, {P::kRedBlue, P::kGreen});
    }
    if (redNeutral) return Plan(true, {P::kGreen, P::kBlue});
    if (greenNeutral) return Plan(true, {P::kBlue, P::kRed});
    if (blueNeutral) return Plan(true, {P::kRed, P::kGreen});
    return Plan(false, {P::kRed, P::kGreen, P::kBlue});
}

void BuildPassStack(const LensCorrectionRequest& r, int channel, const ImageBuffer& source,
                    PassStack& out) {
    const auto c = static_cast<std::size_t>(channel);
    bool added = true;
    if (r.horizontalEnabled) {
        out.horizontal.shift = r.horizontalShift[c];
        added = added && out.stack.Add(ShiftX, &out.horizontal);
    }
    if (r.verticalEnabled) {
        out.vertical.shift = r.verticalShift[c];
        added = added && out.stack.Add(ShiftY, &out.vertical);
    }
    if (r.radialEnabled) {
        out.radial.terms = r.radial[c];
        out.radial.radius = RadiusUnit(source.width, source.height);
        added = added && out.stack.Add(RadialScale, &out.radial);
    }
    if (r.resizeEnabled) {
        const double w = source.width;
        const double h = source.height;
        if (r.newWidth > 0) {
            out.scale.sx = w / r.newWidth;
            out.scale.sy = r.newHeight > 0 ? h / r.newHeight : out.scale.sx;
        } else if (r.newHeight > 0) {
            out.scale.sx = h / r.newHeight;
            out.scale.sy = out.scale.sx;
        } else {
            // A resize to nothing (a one-pixel image scaled down) would divide by
            // zero and blank the image; keep the scale instead.
            out.scale.sx = 1.0;
            out.scale.sy = 1.0;
        }
        added = added && out.stack.Add(ScaleXY, &out.scale);
    }
    (void)added;  // four stages always fit
}

Status RunLensCorrectionTool(const LensCorrectionRequest& request, const ImageBuffer& source,
                             const ImageBuffer& destination, EngineContext& context) {
    const PassPlan plan = PlanChannelPasses(request);
    if (plan.count == 0) return Status::Ok();
    QUILLON_RETURN_IF_ERROR(CheckImage(source, context.sink));
    QUILLON_RETURN_IF_ERROR(CheckImage(destination, context.sink));
    if (source.bitsPerPixel != destination.bitsPerPixel || PixelsOverlap(source, destination)) {
        return StatusCode::kFailed;
    }

    if (plan.copyFirst) CopyCentred(source, destination);
    for (std::int32_t i = 0; i < plan.count; ++i) {
        const ChannelPass pass = plan.passes[i];
        PassStack stack;
        BuildPassStack(request, PassTermsChannel(pass), source, stack);
        if (stack.stack.empty()) continue;
        QUILLON_RETURN_IF_ERROR(RemapImage(source, destination, stack.stack, pass, context));
    }
    return Status::Ok();
}

LensCorrectionRequest MakeLensCorrectionRequest(const ImageBuffer& destination,
                                                const ImageBuffer& source, bool withCA,
                                                bool withDistortion, bool withResize,
                                                const CorrectionSettings& settings,
                                                const LensModel& lens) {
    LensCorrectionRequest request;
    if (withResize) {
        request.resizeEnabled = 1;
        request.newWidth = ScaledSide(destination.width, settings.PerspectScale);
        request.newHeight = ScaledSide(destination.height, settings.PerspectScale);
    }
    if (withDistortion || withCA) {
        request.radialEnabled = 1;
        const std::int64_t w = source.width;
        const std::int64_t h = source.height;
        const std::int64_t shorter = std::max<std::int64_t>(std::min(w, h), 1);
        const double limit =
            std::sqrt(static_cast<double>(w * w + h * h)) / static_cast<double>(shorter);
        for (RadialTerms& terms : request.radial) {
            terms = RadialTerms{};
            if (withDistortion) {
                terms.c0 = lens.d;
                terms.c1 = lens.c;
                terms.c2 = lens.b;
                terms.c3 = lens.a;
            }
            terms.limit = limit;
        }
        if (withCA) {
            request.radial[0].c0 += settings.CaRed * kCaStep;
            request.radial[2].c0 += settings.CaBlue * kCaStep;
        }
    }
    return request;
}

Status RunLensCorrection(const ImageBuffer& destination, const ImageBuffer& source, bool withCA,
                         bool withDistortion, bool withResize, const CorrectionSettings& settings,
                         const LensModel& lens, EngineContext& context) {
    const LensCorrectionRequest request = MakeLensCorrectionRequest(
        destination, source, withCA, withDistortion, withResize, settings, lens);
    return RunLensCorrectionTool(request, source, destination, context);
}

void BuildDistortionStack(float a, float b, float c, std::int32_t width, std::int32_t height,
                          PassStack& out) {
    const ImageBuffer image = DescribeImage(width, height, 24, nullptr);
    const LensModel lens{a, b, c, ComputeConstantTerm(a, b, c, false, width, height)};
    const LensCorrectionRequest request =
        MakeLensCorrectionRequest(image, image, false, true, false, CorrectionSettings{}, lens);
    BuildPassStack(request, 0, image, out);
}

}  // namespace quillon::engine
