#include "engine/run_correction.h"

#include <cstring>

#include "engine/fisheye.h"
#include "engine/image_ops.h"
#include "engine/lens_correction.h"
#include "engine/perspective.h"
#include "engine/vignetting.h"

namespace quillon::engine {

namespace {

// The bytes of the image itself; a block may be larger (perspective canvases).
std::size_t ImageBytes(const ImageBuffer& image) {
    return static_cast<std::size_t>(image.rowBytes) * static_cast<std::size_t>(image.height);
}

void CopyPixels(const ImageBuffer& from, const ImageBuffer& to) {
    std::memcpy(to.pixels, from.pixels, ImageBytes(from));
}

// Steps 4 to 6 of a correction (see RunCorrection): everything between taking
// the backup and restoring the source. Returns the first failing step's status.
Status CorrectFromSource(const ImageBuffer& destination, const ImageBuffer& source,
                         CorrectionInputs& inputs, const ActiveCorrections& active,
                         EngineContext& context) {
    // Step 4: vignetting changes the source in place; the backup undoes it.
    if (active.vignetting) {
        ApplyVignetting(source, inputs.settings, context.pool, context.progress);
    }

    // Step 5: the geometric correction of the lens.
    const ImageBuffer* result = &source;
    if (active.fisheye) {
        QUILLON_RETURN_IF_ERROR(
            RunFisheye(destination, source, active.chromaticAberration, inputs.settings, context));
        result = &destination;
    } else if (active.distortion || active.chromaticAberration) {
        QUILLON_RETURN_IF_ERROR(RunLensCorrection(destination, source, active.chromaticAberration,
                                                  active.distortion, false, inputs.settings,
                                                  inputs.lens, context));
        result = &destination;
    }

    // Step 6: perspective and scale work on canvases in the result's block and
    // the other one, and crop into the destination themselves.
    if (active.perspective || active.scale) {
        std::uint8_t* other = result == &destination ? source.pixels : destination.pixels;
        return CorrectOnCanvas(*result, other, destination, active.perspective, active.scale,
                               inputs.settings, inputs.lens, context);
    }

    if (result != &destination) CopyPixels(*result, destination);
    return Status::Ok();
}

}  // namespace

ActiveCorrections DecideCorrections(const CorrectionSettings& settings, const LensModel& lens,
                                    LensState lensState) {
    const std::int32_t choice = ClampCorChoice(settings.CorChoice);
    ActiveCorrections active;
    active.distortion = choice == kCorrectDistortion && lensState.distortionUsable &&
                        (lens.a != 0.0f || lens.b != 0.0f || lens.c != 0.0f);
    active.chromaticAberration = settings.CaRed != 0 || settings.CaBlue != 0;
    active.fisheye = choice == kCorrectFisheye && lensState.fisheyeEnabled;
    active.vignetting = settings.VigAmount != 0;
    active.perspective =
        settings.PerspectVert != 0 || settings.PerspectHorz != 0 || settings.PerspectRotate != 0;
    active.scale = settings.PerspectScale != 100;
    return active;
}

// The order of a correction, which the steps below are numbered by:
//   1. nothing active: copy the source and stop;
//   2. perspective or scale: make sure the blocks hold the enlarged canvases;
//   3. back the source up;
//   4. vignetting, on the source in place;
//   5. fisheye conversion, or lens distortion and chromatic aberration, from
//      the source into the destination;
//   6. perspective, scale and crop shift on the canvases, ending in the
//      destination; without them, the result is copied there if need be;
//   7. restore the source, whatever happened since step 3.
Status RunCorrection(ImageBuffer& destination, ImageBuffer& source, bool isPreview,
                     ImageBlocks& blocks, CorrectionInputs& inputs, EngineContext& context) {
    QUILLON_RETURN_IF_ERROR(CheckImage(source, context.sink));
    QUILLON_RETURN_IF_ERROR(CheckImage(destination, context.sink));
    if (source.width != destination.width || source.height != destination.height ||
        source.bitsPerPixel != destination.bitsPerPixel || PixelsOverlap(source, destination)) {
        return Status(1);
    }

    // Step 1.
    const ActiveCorrections active =
        DecideCorrections(inputs.settings, inputs.lens, inputs.lensState);
    if (!active.Any()) {
        CopyPixels(source, destination);
        return Status::Ok();
    }

    // Step 2: canvases need blocks 16/9 the image's size. A full-size image gets
    // them on its first perspective or scale correction, the preview's are set
    // up that large; blocks that do not hold the canvases are enlarged whatever
    // the kind of image, rather than written past. A failure returns here,
    // before anything was changed.
    (void)isPreview;
    if (active.perspective || active.scale) {
        QUILLON_RETURN_IF_ERROR(PrepareCanvasBlocks(blocks, source, destination, context));
    }

    // Step 3: keep the source, which vignetting and the canvas placement change.
    const std::size_t imageBytes = ImageBytes(source);
    const bool haveBackup = !blocks.backup.empty() && blocks.backup.size() >= imageBytes;
    if (haveBackup) std::memcpy(blocks.backup.data(), source.pixels, imageBytes);

    const Status status = CorrectFromSource(destination, source, inputs, active, context);

    // Step 7, on success and on failure alike.
    if (haveBackup) std::memcpy(source.pixels, blocks.backup.data(), imageBytes);
    return status;
}

}  // namespace quillon::engine
