#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/status.h"
#include "engine/correction_settings.h"
#include "lensdb/lens_database.h"
#include "lensdb/lens_history.h"
#include "lensdb/lens_selection.h"
#include "metadata/info_text.h"
#include "metadata/shot_info.h"
#include "platform/text_source.h"

// Camera and lens matching: chooses a camera, a lens and a focal length from
// the database for the ShotInfo of an image, helped by the lens history and the
// photo's own lens name (lens_name_match.h); fills
// the Make, Model and Lens menus (as data); turns the choice into the
// coefficients of the LensModel; writes the detection messages.
//
// Camera make and model from the metadata match the database ignoring letter
// case; all other names compare exactly. Focal lengths and apertures compare
// with a tolerance of 0.1.

namespace quillon::lensdb {

inline constexpr double kMatchTolerance = 0.1;

// Message numbers of the detection texts.
inline constexpr int kMsgFocalNotCalibrated = 13;
inline constexpr int kMsgCameraNotCalibrated = 18;
inline constexpr int kMsgLensNotCalibrated = 19;
inline constexpr int kMsgFocalLength = 24;
inline constexpr int kMsgFocalLengthRange = 25;
inline constexpr int kMsgSelectLens = 56;

// The settings that matching reads besides the correction values.
struct MatchSettings {
    std::int32_t converterDetected =
        0;                    // "ConverterDetected": the camera reports f with a converter
    float flen = 0.0f;        // "Flen": default focal length; the focal-length display updates it
    bool invertMode = false;  // the command line's inverted mode
};

// What matching works on: the parts of the program state it reads and changes.
struct MatchContext {
    LensDatabase& database;  // detection links candidates and menu entries in its records
    const LensHistory& history;
    metadata::ShotInfo& shot;  // a selected tele-converter changes the focal values
    const engine::CorrectionSettings& correction;  // CorChoice and Resize
    MatchSettings& settings;
    const platform::TextSource& texts;
    // A window shows the image: the menus and the focal-length display are
    // filled (and "Flen" follows the display). False in the quiet mode.
    bool withWindow = false;
    std::int32_t imageWidth = 0;  // of the image being corrected, for the constant term
    std::int32_t imageHeight = 0;
};

// Runs the whole choice for a freshly opened image. True when the choice is
// complete: CorChoice needs no lens, or a real lens is selected. False when the
// user must pick a lens, or no camera or lens fits (profileCorrection is then
// cleared).
bool Detect(const MatchContext& context, LensSelection& selection);

// The quiet mode's decision for one image (context.withWindow false): runs
// Detect and, for the lens-profile correction, ComputeCoefficients. True when
// the image is to be corrected: CorChoice needs no lens, or a lens was detected
// and selection.lensModel holds its coefficients at the shot's focal length.
bool DetectForQuietCorrection(const MatchContext& context, LensSelection& selection);

// Handlers of the three menus and the focal-length field. `line` is the line
// the user picked; out-of-range lines are ignored.
void MakeChanged(const MatchContext& context, LensSelection& selection, int line);
void ModelChanged(const MatchContext& context, LensSelection& selection, int line);
void LensChanged(const MatchContext& context, LensSelection& selection, int line);
void FocalLengthEntered(const MatchContext& context, LensSelection& selection,
                        std::string_view text);

// Interpolates the calibration of the selected lens at focalInUse, adapts it to
// the camera's crop factor and fills selection.lensModel (d from the constant
// term; negated coefficients in the inverted mode). Fails with 1 when no real
// lens is selected or focalInUse lies outside the calibrated range by more than
// 0.1 mm.
Status ComputeCoefficients(const MatchContext& context, LensSelection& selection);

// The detection messages that follow the information text: a missing camera or
// lens, "Select lens", or "Focal length not calibrated" (running
// ComputeCoefficients to find out). Lines end with CR LF.
std::string DetectionText(const MatchContext& context, LensSelection& selection);

// What the information text needs to know about the choice: whether the
// camera has a built-in lens, and whether a camera and a real lens are chosen.
metadata::InfoTextContext InfoContextOf(const LensSelection& selection);

}  // namespace quillon::lensdb
