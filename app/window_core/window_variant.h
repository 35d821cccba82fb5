#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/window_core/control_ids.h"
#include "settings/settings_values.h"

// The main window comes in three variants that share every correction control
// and differ in their buttons and in what they work on: the folder browser of
// an empty command line, the editor of the files named on it, and the image
// editor's filter dialog. Everything that differs is listed here, so the
// window itself asks its variant instead of testing which one it is.

namespace quillon::app {

enum class WindowVariant {
    kBrowser,       // "MAINDIALOG": file list, Directory, Apply, Delete, Exit, rotation
    kEditor,        // "MAINDIALOGEDIT": OK and Cancel, one file after another
    kFilterDialog,  // the plug-in's dialog: OK and Cancel on the host's image
};

struct VariantTraits {
    std::string_view templateName;
    bool hasFileList = false;  // with "Directory" and "Delete"
    bool hasRotation = false;
    ControlId okId = ControlId::kApply;
    int okText = 0;  // string numbers of the two buttons at the bottom right
    int cancelText = 0;
};

VariantTraits TraitsOf(WindowVariant variant);

// The user guide, an HTML file in the installation folder (Root).
inline constexpr std::string_view kHelpFileName = "QuillonHelp.html";

// "Quillon 9.0 - 64-bit" (32-bit in a 32-bit build).
std::string WindowTitle();
// The About box's heading: "Quillon 9.0  64-bit" (two blanks; 32-bit in a
// 32-bit build).
std::string AboutHeading();

struct PixelSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// The size a window opens with: the remembered one raised to the designed
// (smallest) size and then lowered to the work area of the screen, so a stored
// 0 gives the designed size and a size from a larger screen still fits.
PixelSize OpeningSize(const settings::DialogPlacement& remembered, PixelSize designed,
                      PixelSize workArea);

}  // namespace quillon::app
