#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/correction_settings.h"
#include "lensdb/lens_database.h"
#include "lensdb/lens_name_match.h"

// The camera and lens chosen for the current image, with the three selection
// menus as plain data (their lines and the selected line) that a window shows
// and hands back when the user picks a line.

namespace quillon::lensdb {

inline constexpr std::string_view kSelectLensName = "Select Lens";

// How the selected lens came to be chosen.
enum class LensChoice {
    kNone,          // "Select Lens" stands, or no camera is selected
    kHistory,       // a lens history entry for this kind of shot
    kStandardLens,  // the built-in lens of a fixed-lens camera
    kOnlyLens,      // the only lens that fits
    kName,          // the photo's lens name (lens_name_match.h)
    kUser,          // picked in the Lens menu
};

struct SelectionMenu {
    std::vector<std::string> lines;
    int selected = -1;  // -1 when the menu is empty

    // Text of the selected line, empty when none.
    std::string_view SelectedText() const;
};

struct FocalLengthDisplay {
    bool shown = false;  // a camera is selected and an image is shown
    std::string label;   // "focal length" or "focal length (18.000 - 55.000)"
    std::string edit;    // focal length in use, "%.3f"
};

class LensSelection {
  public:
    LensSelection();
    // The lens menu list starts at pseudoLens, a member: the record must stay
    // where it is.
    LensSelection(const LensSelection&) = delete;
    LensSelection& operator=(const LensSelection&) = delete;

    bool IsRealLensSelected() const {
        return selectedLens != nullptr && selectedLens != &pseudoLens;
    }
    // The Lens menu list offers at least one lens.
    bool HasLensChoices() const { return lensMenu != nullptr && lensMenu->menuNext != nullptr; }
    bool CameraHasStandardLens() const {
        return selectedCamera != nullptr && selectedCamera->hasStandardLens != 0;
    }

    // Forgets the choice (a new image, or a database about to be replaced).
    void Clear();

    CameraEntry* candidates = nullptr;  // chain linked by candidateNext
    CameraEntry* selectedCamera = nullptr;
    LensEntry* lensMenu = nullptr;      // &pseudoLens while a camera is selected
    LensEntry* selectedLens = nullptr;  // a lens of the menu list, &pseudoLens, or null
    LensChoice lensChoice = LensChoice::kNone;
    // The last comparison of the photo's lens name with the menu list; its
    // outcome is kNotCompared when the name was not needed.
    LensNameComparison nameComparison;
    // "Select Lens": no calibration; its menuNext starts the lenses offered.
    LensEntry pseudoLens;

    float focalInUse = 0.0f;  // mm at which the coefficients are computed
    engine::LensModel lensModel;
    bool coefficientsValid = false;
    // The main window's lens-profile correction: cleared when detection finds
    // nothing, set again when the user picks a make or a model.
    bool profileCorrection = true;

    SelectionMenu makeMenu;
    SelectionMenu modelMenu;
    SelectionMenu lensMenuLines;
    FocalLengthDisplay focalDisplay;
};

}  // namespace quillon::lensdb
