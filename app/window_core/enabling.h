#pragma once

#include <cstdint>

#include "engine/correction_settings.h"
#include "preview/preview_state.h"

// Which controls of the main window may be used, decided after every change of
// state from a handful of facts. Kept apart from the widgets so the whole
// table can be checked without a window.

namespace quillon::app {

struct EnablingFacts {
    int imageState = preview::kImageNone;  // preview::kImage...
    bool restartPending = false;           // the Options dialog changed what needs a restart
    bool outOfMemory = false;              // the image's memory ran out: nothing more is rendered
    bool zoomOn = false;                   // the chromatic-aberration zoom shows a region
    // The camera menus hold cameras for the image (so the user can choose).
    bool cameraListsFilled = false;
    // A real lens is chosen and its profile spans more than one focal length.
    bool lensHasFocalRange = false;
    // The lens-profile correction is ready: a lens chosen and its coefficients
    // computed for the focal length in use.
    bool lensCorrectionReady = false;
    // The image was turned upright by its orientation value or by the user.
    bool imageTurned = false;
    engine::CorrectionSettings values;
};

struct ControlEnabling {
    // The "Correct" group with its radio buttons, Preview, the grid controls,
    // "Reset All", the rotation buttons and the current tab page's controls.
    bool general = false;
    bool scrollBars = false;  // also shown only then
    bool lensGroup = false;   // Make, Model, Lens and their labels
    bool focalLength = false;
    bool fisheyeGroup = false;
    bool shiftButton = false;
    bool cancel = false;  // "Exit" / "Cancel"
    bool apply = false;   // "Apply" / "OK"
    bool deleteFiles = false;
    bool fileList = false;  // and "Directory"
    bool menus = false;     // Options, Help, About, Select All, Refresh
    bool openIn = false;    // "Open in ..." the external viewer

    friend bool operator==(const ControlEnabling&, const ControlEnabling&) = default;
};

// Whether correcting the image with `facts` would change it at all.
bool CorrectionWouldChange(const EnablingFacts& facts);

ControlEnabling DecideEnabling(const EnablingFacts& facts);

}  // namespace quillon::app
