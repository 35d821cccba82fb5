#include "engine/correction_rows.h"

#include <algorithm>
#include <cstring>

#include "engine/lens_correction.h"
#include "engine/perspective.h"
#include "engine/run_correction.h"

namespace quillon::engine {

bool LensRows::Ready(const CorrectionPlan& plan) {
    const ActiveCorrections& steps = plan.steps;
    passes_ = PassPlan{};
    copyOnly_ = !steps.distortion && !steps.chromaticAberration;
    if (steps.fisheye) return false;
    if (copyOnly_) return true;
    const LensCorrectionRequest request =
        MakeLensCorrectionRequest(plan.image, plan.image, steps.chromaticAberration,
                                  steps.distortion, false, plan.settings, plan.lens);
    passes_ = PlanChannelPasses(request);
    // A pass that writes nothing would leave its channels as the destination
    // held them before, which rows written one by one cannot reproduce.
    if (passes_.count == 0) return false;
    for (std::int32_t i = 0; i < passes_.count; ++i) {
        PassStack& stack = stacks_[static_cast<std::size_t>(i)];
        BuildPassStack(request, PassTermsChannel(passes_.passes[i]), plan.image, stack);
        if (stack.stack.empty()) return false;
    }
    return true;
}

bool LensRows::Row(RowRemap& remap, const ImageBuffer& source, const SampleTables& tables,
                   std::int32_t row, std::uint8_t* out, RowWait& wait) const {
    // Channels no pass writes are copied (CopyCentred, of equal sizes).
    if (copyOnly_ || passes_.copyFirst) {
        if (!wait.WaitFor(row)) return false;
        std::memcpy(out, source.Row(row),
                    static_cast<std::size_t>(source.width) *
                        static_cast<std::size_t>(source.BytesPerPixel()));
    }
    const RemapGeometry geometry{source.width, source.height, source.width, source.height};
    for (std::int32_t i = 0; i < passes_.count; ++i) {
        remap.Map(stacks_[static_cast<std::size_t>(i)].stack, geometry, row);
        const std::int32_t last = remap.LastSourceRow(0, source.width);
        if (last >= 0 && !wait.WaitFor(last)) return false;
        remap.Resample(source, passes_.passes[i], tables, 0, source.width, out);
    }
    return true;
}

void PerspectiveRows::Ready(const CorrectionPlan& plan) {
    const ImageBuffer& canvas = plan.canvas;
    const CorrectionSettings& settings = plan.settings;
    params_ = MakePerspectiveParams(
        canvas.width, PerspectiveAnglesFromSettings(settings.PerspectVert, settings.PerspectHorz,
                                                    settings.PerspectRotate));
    stack_ = TransformStack{};
    (void)stack_.Add(PerspectiveHomography, &params_);
    geometry_ = RemapGeometry{canvas.width, canvas.height, canvas.width, canvas.height};
    imageWidth_ = plan.image.width;
    imageHeight_ = plan.image.height;
    imageX_ = (canvas.width - imageWidth_) / 2;
    imageY_ = (canvas.height - imageHeight_) / 2;
    // As CropToImage places the window.
    windowX_ = imageX_ - std::clamp(plan.crop.shiftX, -imageX_, imageX_);
    windowY_ = imageY_ - std::clamp(plan.crop.shiftY, -imageY_, imageY_);
}

bool PerspectiveRows::Row(RowRemap& remap, const ImageBuffer& canvas, const SampleTables& tables,
                          std::int32_t row, std::uint8_t* out, RowWait& wait) const {
    remap.Map(stack_, geometry_, windowY_ + row);
    const std::int32_t last = remap.LastSourceRow(windowX_, windowX_ + imageWidth_);
    if (last >= imageY_ && !wait.WaitFor(std::min(last - imageY_, imageHeight_ - 1))) {
        return false;
    }
    remap.Resample(canvas, ChannelPass::kAll, tables, windowX_, windowX_ + imageWidth_, out);
    return true;
}

std::uint8_t* PerspectiveRows::ImageRow(const ImageBuffer& canvas, std::int32_t row) const {
    return canvas.Row(imageY_ + row) + static_cast<std::int64_t>(imageX_) * canvas.BytesPerPixel();
}

void PerspectiveRows::ClearMargin(const ImageBuffer& canvas) const {
    const std::int64_t bpp = canvas.BytesPerPixel();
    const auto rowBytes = static_cast<std::size_t>(canvas.rowBytes);
    const auto left = static_cast<std::size_t>(imageX_ * bpp);
    const auto right = static_cast<std::size_t>((canvas.width - imageWidth_ - imageX_) * bpp);
    const auto image = static_cast<std::size_t>(imageWidth_ * bpp);
    std::memset(canvas.pixels, 0, static_cast<std::size_t>(imageY_) * rowBytes);
    for (std::int32_t y = imageY_; y < imageY_ + imageHeight_; ++y) {
        std::uint8_t* row = canvas.Row(y);
        std::memset(row, 0, left);
        std::memset(row + left + image, 0, right);
    }
    std::memset(canvas.Row(imageY_ + imageHeight_), 0,
                static_cast<std::size_t>(canvas.height - imageY_ - imageHeight_) * rowBytes);
}

}  // namespace quillon::engine
