#pragma once

#include <functional>
#include <string>

#include "engine/correction_settings.h"
#include "engine/worker_pool.h"
#include "imageio/image_file.h"
#include "lensdb/lens_database.h"
#include "lensdb/lens_history.h"
#include "lensdb/lens_selection.h"
#include "metadata/shot_info.h"
#include "platform/text_source.h"
#include "preview/preview_state.h"
#include "settings/settings_values.h"

// Showing an image: from a file (or an image already in memory) to the
// reduced preview, its display transform and the camera and lens detection,
// ready for the first render. The window calls it for every image it opens,
// for the rotation buttons and after its preview area changed size; the
// plug-in's dialog with the host's image.

namespace quillon::preview {

enum class ShowMode {
    kReadFile,              // read the file; its orientation value turns it upright
    kTurn180,               // turn the current image (orientation value 3)
    kTurnClockwise,         // 90 degrees clockwise (6)
    kTurnCounterClockwise,  // 90 degrees counter-clockwise (8)
    kRebuild,               // the preview area changed: rebuild the preview only
    kImageInMemory,         // the caller filled image.input and image.metadata
    kReadByCaller,          // as kReadFile, the caller having read the file with LoadImageFile
};

// Results.
inline constexpr int kShownWithLens = 0;  // or a correction that needs no lens
// Lens correction chosen and no lens matched, or only at a focal length the
// photo does not give (below).
inline constexpr int kShownWithoutLens = 1;
inline constexpr int kShowFailed = 2;

// The parts of the program state ShowImage reads and changes.
struct ShowImageParts {
    settings::SettingsValues& values;  // ResetAlways, detection switches, Flen
    engine::CorrectionSettings& correction;
    lensdb::LensHistory& history;
    lensdb::LensDatabase& database;
    const platform::TextSource& texts;
    CurrentImage& image;
    metadata::ShotInfo& shot;
    lensdb::LensSelection& selection;
    PreviewState& preview;
    engine::EngineContext& engine;  // the worker pool and the message sink
    bool invertMode = false;        // the command line's inverted mode
    // How an image in memory gets its metadata: read anew from where it came
    // from (the plug-in's host), which also leaves the profile the preview
    // converts from in the metadata's ICC bytes (or none). Without it the
    // blocks the caller put into image.metadata are parsed.
    std::function<metadata::ShotInfo(ImageMetadata&)> readMetadata = {};
};

// Shows `path` (kReadFile; for kImageInMemory the name the image goes by) in
// the preview area state.preview.areaWidth x areaHeight:
//  - every mode but kRebuild resets the correction values when ResetAlways is
//    on and no file is being written (image state 3), and records the lens of
//    the image shown so far in the history;
//  - kReadFile loads the file (failure: image state 0, result 2); an
//    orientation value of 3, 6 or 8 turns it upright and the saved file is
//    then marked upright (other values stay as they are); the turn modes turn
//    the current image and mark it the same way; an image in memory is shown
//    as the caller holds it;
//  - a new image's metadata is read (by parts.readMetadata for an image in
//    memory when given); a photo that gives no focal length is matched
//    without one: every lens of its camera is offered, and the focal length
//    of a chosen lens starts at the one last used (Flen);
//  - the fitted preview is reduced from the image (from its 8-bit copy for
//    16-bit images), and the display transform built;
//  - a new or turned image starts with the zoom off and the view centred
//    (kRebuild keeps the zoom step and places its region again); a new image
//    also starts without a grid, and its camera and lens are detected (with
//    coefficients for a matched lens).
// Answers kShownWithLens, kShownWithoutLens (a new image, lens correction
// chosen, and no lens matched, or a lens whose calibration spans several
// focal lengths chosen for a photo without one, whose focal length is then a
// guess the user must check) or kShowFailed. The first render is the caller's.
int ShowImage(ShowImageParts& parts, const std::string& path, ShowMode mode);

}  // namespace quillon::preview
