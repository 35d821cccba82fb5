#include "preview/preview_correction.h"

namespace quillon::preview::detail {

Status CorrectPreviewImage(const ImageBuffer& source, const ImageBuffer& destination,
                           engine::CorrectionScratch& scratch, engine::CorrectionSettings& settings,
                           const engine::LensModel& lens, engine::LensState lensState,
                           engine::EngineContext& context) {
    const engine::CorrectionInputs inputs{settings, lens, lensState};
    const StatusOr<engine::CorrectionPlan> plan =
        engine::PlanCorrection(source, inputs, engine::SourceUse::kKeep, context.sink);
    if (!plan.ok()) return plan.status();
    QUILLON_RETURN_IF_ERROR(engine::ReadyCorrectionScratch(*plan, scratch, context));
    QUILLON_RETURN_IF_ERROR(engine::RunCorrection(*plan, source, destination, scratch, context));
    engine::AdoptCropShifts(*plan, settings);
    return Status::Ok();
}

}  // namespace quillon::preview::detail
