#include "engine/perspective.h"

#include "engine/image_ops.h"
#include "engine/remap.h"
#include "engine/transform_stack.h"

namespace quillon::engine {

Point PerspectiveHomography(Point p, const void* params) {
    return PerspectiveHomographyPoint(*static_cast<const PerspectiveParams*>(params), p);
}

Status RunPerspective(const ImageBuffer& source, const ImageBuffer& destination,
                      const CorrectionSettings& settings, EngineContext& context) {
    QUILLON_RETURN_IF_ERROR(CheckImage(source, context.sink));
    QUILLON_RETURN_IF_ERROR(CheckImage(destination, context.sink));
    if (source.bitsPerPixel != destination.bitsPerPixel) return StatusCode::kFailed;
    const PerspectiveParams params = MakePerspectiveParams(
        source.width, PerspectiveAnglesFromSettings(settings.PerspectVert, settings.PerspectHorz,
                                                    settings.PerspectRotate));
    TransformStack stack;
    if (!stack.Add(PerspectiveHomography, &params)) return StatusCode::kFailed;
    return RemapImage(source, destination, stack, ChannelPass::kAll, context);
}

bool CanvasFitsLimits(const ImageBuffer& image) {
    return CanvasSide(image.width) <= kMaxImageSide && CanvasSide(image.height) <= kMaxImageSide;
}

Status CorrectOnCanvas(const ImageBuffer& first, const ImageBuffer& second,
                       const ImageBuffer& destination, bool perspective, bool scale,
                       const CropWindow& crop, const CorrectionSettings& settings,
                       const LensModel& lens, EngineContext& context) {
    const ImageBuffer* cropFrom = &second;
    if (perspective) {
        QUILLON_RETURN_IF_ERROR(RunPerspective(first, second, settings, context));
        if (scale) {
            QUILLON_RETURN_IF_ERROR(
                RunLensCorrection(first, second, false, false, true, settings, lens, context));
            cropFrom = &first;
        }
    } else if (scale) {
        QUILLON_RETURN_IF_ERROR(
            RunLensCorrection(second, first, false, false, true, settings, lens, context));
    } else {
        cropFrom = &first;
    }
    CropToImage(destination, *cropFrom, crop);
    return Status::Ok();
}

}  // namespace quillon::engine
