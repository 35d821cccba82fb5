#include "engine/chromatic_aberration.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/image_ops.h"
#include "engine/lens_correction.h"

namespace quillon::engine {

LensCorrectionRequest FisheyeChromaticTerms(std::int32_t width, std::int32_t height, int caRed,
                                            int caBlue) {
    LensCorrectionRequest request;
    request.radialEnabled = 1;
    const std::int64_t squaredDiagonal =
        static_cast<std::int64_t>(width) * width + static_cast<std::int64_t>(height) * height;
    const std::int32_t shorter = std::min(width, height);
    const double limit =
        shorter > 0 ? std::sqrt(static_cast<double>(squaredDiagonal)) / shorter : 1000.0;
    for (RadialTerms& terms : request.radial) {
        terms = RadialTerms{};
        terms.limit = limit;
    }
    request.radial[0].c0 = 1.0 + kCaStep * caRed;
    request.radial[2].c0 = 1.0 + kCaStep * caBlue;
    return request;
}

DetailShifts ComputeDetailShifts(const DetailRegion& region, int caRed, int caBlue) {
    DetailShifts shifts;
    const double unit = 0.5 * std::min(region.imageWidth, region.imageHeight);
    if (unit <= 0.0) return shifts;
    const double u = (region.left + 0.5 * region.width - 0.5 * region.imageWidth) / unit;
    const double v = (region.top + 0.5 * region.height - 0.5 * region.imageHeight) / unit;
    const double redExtent = unit / (kCaStep * caRed + 1.0) - unit;
    const double blueExtent = unit / (kCaStep * caBlue + 1.0) - unit;
    shifts.redX = -u * redExtent;
    shifts.redY = -v * redExtent;
    shifts.blueX = -u * blueExtent;
    shifts.blueY = -v * blueExtent;
    return shifts;
}

Status ShiftForDetail(const DetailRegion& region, int caRed, int caBlue, const ImageBuffer& source,
                      const ImageBuffer& destination, EngineContext& context) {
    QUILLON_RETURN_IF_ERROR(CheckImage(source, context.sink));
    QUILLON_RETURN_IF_ERROR(CheckImage(destination, context.sink));
    if (source.bitsPerPixel != destination.bitsPerPixel) return StatusCode::kFailed;
    const DetailShifts shifts = ComputeDetailShifts(region, caRed, caBlue);
    if (shifts.None()) {
        CopyCentred(source, destination);
        return Status::Ok();
    }
    LensCorrectionRequest request;
    if (shifts.redX != 0.0 || shifts.blueX != 0.0) {
        request.horizontalEnabled = 1;
        request.horizontalShift = {shifts.redX, 0.0, shifts.blueX};
    }
    if (shifts.redY != 0.0 || shifts.blueY != 0.0) {
        request.verticalEnabled = 1;
        request.verticalShift = {shifts.redY, 0.0, shifts.blueY};
    }
    return RunLensCorrectionTool(request, source, destination, context);
}

}  // namespace quillon::engine
