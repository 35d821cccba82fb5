#include "preview/preview_renderer.h"

#include <optional>

#include "engine/image_ops.h"
#include "engine/run_correction.h"
#include "preview/grid.h"
#include "preview/preview_correction.h"

namespace quillon::preview {

namespace {

constexpr const char* kNoBitmapText = "Insufficient memory: failure to CreateDIBSection";

// Allocates `block` unless it holds `bytes` already (its content is rewritten
// before use either way), so a rebuild at the same size allocates nothing.
bool Reserve(PixelBlock& block, std::optional<ByteCount> bytes) {
    return bytes && (block.size() >= bytes->value() || block.Allocate(*bytes));
}

}  // namespace

Status PreviewRenderer::Prepare(const ImageBuffer& image, std::int32_t width, std::int32_t height,
                                engine::EngineContext& context) {
    reduced_ = DescribeImage(width, height, 24, nullptr);
    corrected_ = reduced_;
    const std::optional<ByteCount> bytes = ImageByteCount(reduced_);
    if (width <= 0 || height <= 0 || !Reserve(blocks_.source, bytes) ||
        !Reserve(blocks_.work, bytes) || !display_.Allocate(width, height)) {
        Release();
        context.sink.Show(kNoBitmapText);
        return Status(1);
    }
    reduced_.pixels = blocks_.source.data();
    corrected_.pixels = blocks_.work.data();
    const Status reducedStatus = engine::ReducePreview(image, reduced_, context);
    if (!reducedStatus.ok()) {
        Release();
        return reducedStatus;
    }
    return Status::Ok();
}

void PreviewRenderer::Release() {
    blocks_.source.Release();
    blocks_.work.Release();
    scratch_.Release();
    reduced_ = {};
    corrected_ = {};
    display_.Release();
}

Status PreviewRenderer::Render(engine::CorrectionSettings& settings, const engine::LensModel& lens,
                               engine::LensState lensState, const RenderOptions& options,
                               const DisplayTransform& transform, engine::EngineContext& context) {
    if (!Ready()) return Status(1);
    engine::CorrectionSettings held = settings;
    held.CaRed = 0;
    held.CaBlue = 0;
    const ImageBuffer* shown = &reduced_;
    Status status;
    if (options.showCorrected && engine::DecideCorrections(held, lens, lensState).Any()) {
        status = detail::CorrectPreviewImage(reduced_, corrected_, scratch_, held, lens, lensState,
                                             context);
        if (status.ok()) shown = &corrected_;
        // A crop shift the canvas could not follow stays where it stopped, so
        // repeated presses of the shift button do not run away unseen.
        settings.PerspectShiftHorz = held.PerspectShiftHorz;
        settings.PerspectShiftVert = held.PerspectShiftVert;
    }
    CopyToDisplay(*shown, display_);
    transform.Apply(display_);
    DrawGrid(display_, options.grid, options.gridColour);
    return status;
}

}  // namespace quillon::preview
