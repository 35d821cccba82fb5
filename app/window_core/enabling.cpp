#include "app/window_core/enabling.h"

namespace quillon::app {

namespace {

bool PerspectiveActive(const engine::CorrectionSettings& v) {
    return v.PerspectVert != 0 || v.PerspectHorz != 0 || v.PerspectRotate != 0 ||
           v.PerspectScale != 100;
}

}  // namespace

bool CorrectionWouldChange(const EnablingFacts& facts) {
    const engine::CorrectionSettings& v = facts.values;
    const std::int32_t kind = engine::ClampCorChoice(v.CorChoice);
    // With several files selected no lens is known yet: each file's own lens
    // is found when it is corrected, so the lens-profile correction counts as
    // a change. Otherwise a batch of plain lens corrections could never start.
    const bool lensCorrection =
        kind == engine::kCorrectDistortion &&
        (facts.lensCorrectionReady || facts.imageState == preview::kImageSeveralSelected);
    return lensCorrection || kind == engine::kCorrectFisheye || v.CaRed != 0 || v.CaBlue != 0 ||
           v.VigAmount != 0 || PerspectiveActive(v) || facts.imageTurned;
}

ControlEnabling DecideEnabling(const EnablingFacts& facts) {
    const bool usable =
        facts.imageState == preview::kImageShown && !facts.restartPending && !facts.outOfMemory;
    const bool busy = facts.imageState == preview::kImageBusy;
    const bool severalFiles =
        facts.imageState == preview::kImageSeveralSelected && !facts.restartPending;
    const std::int32_t kind = engine::ClampCorChoice(facts.values.CorChoice);

    ControlEnabling e;
    e.general = usable;
    e.scrollBars = usable && facts.zoomOn;
    e.lensGroup = usable && kind == engine::kCorrectDistortion && facts.cameraListsFilled;
    e.focalLength = e.lensGroup && facts.lensHasFocalRange;
    e.fisheyeGroup = usable && kind == engine::kCorrectFisheye;
    e.shiftButton = usable && PerspectiveActive(facts.values);
    e.cancel = !busy;
    e.apply = (usable || severalFiles) && CorrectionWouldChange(facts);
    e.deleteFiles = usable || severalFiles;
    e.fileList = !busy && !facts.restartPending;
    e.menus = !busy;
    e.openIn = usable;
    return e;
}

}  // namespace quillon::app
