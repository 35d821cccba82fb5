#include "preview/preview_state.h"

#include <cstring>

namespace quillon::preview {

bool FullSizeBitmap::Make(const ImageBuffer& image, platform::MessageSink& sink) {
    if (Valid() && image_.width == image.width && image_.height == image.height) return true;
    Release();
    ImageBuffer bitmap = DescribeImage(image.width, image.height, 24, nullptr);
    if (image.pixels == nullptr || bitmap.dataSize <= 0 ||
        !block_.Allocate(ImageByteCount(bitmap))) {
        sink.Show("Insufficient memory: failure to CreateDIBSection");
        return false;
    }
    bitmap.pixels = block_.data();
    const auto rowBytes = static_cast<std::size_t>(bitmap.rowBytes);
    for (std::int32_t y = 0; y < image.height; ++y) {
        std::uint8_t* out = bitmap.Row(y);
        if (image.bitsPerPixel == 24) {
            std::memcpy(out, image.Row(y), rowBytes);
            continue;
        }
        const auto* in = reinterpret_cast<const std::uint16_t*>(image.Row(y));
        for (std::size_t i = 0; i < rowBytes; ++i) out[i] = static_cast<std::uint8_t>(in[i] >> 8);
    }
    image_ = bitmap;
    return true;
}

void FullSizeBitmap::Release() {
    block_.Release();
    image_ = {};
}

void PreviewState::ReleaseImage() {
    renderer.Release();
    fullSize.Release();
    transform.Reset();
    zoom.SetImage(0, 0);
    placement = {};
    turned = false;
    outOfMemory = false;
}

engine::LensState LensStateOf(const lensdb::LensSelection& selection,
                              const engine::CorrectionSettings& correction) {
    engine::LensState state;
    state.distortionUsable = selection.profileCorrection && selection.IsRealLensSelected() &&
                             selection.coefficientsValid;
    state.fisheyeEnabled = correction.CorChoice == engine::kCorrectFisheye;
    return state;
}

Status RenderPreview(PreviewState& state, engine::CorrectionSettings& correction,
                     const lensdb::LensSelection& selection, bool previewOn, bool comparing,
                     std::int32_t gridColourValue, engine::EngineContext& context) {
    if (state.outOfMemory || state.imageState == kImageNone || !state.renderer.Ready()) {
        return Status::Ok();
    }
    RenderOptions options;
    options.showCorrected = previewOn && !comparing;
    options.grid = state.grid;
    options.gridColour = RgbFromColourValue(gridColourValue);
    return state.renderer.Render(correction, selection.lensModel,
                                 LensStateOf(selection, correction), options, state.transform,
                                 context);
}

bool SetZoomStep(PreviewState& state, std::int32_t step, const ImageBuffer& image,
                 platform::MessageSink& sink) {
    if (step > 0 && !state.fullSize.Make(image, sink)) {
        state.zoom.SetStep(0, state.fullSize.Image(), sink);
        return false;
    }
    state.zoom.SetStep(step, state.fullSize.Image(), sink);
    return true;
}

}  // namespace quillon::preview
