#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The preferences and window state that persist between runs, apart from the
// correction values (the engine's CorrectionSettings, which also holds the
// Processors and Resize preferences) and the lens history.
// Each field is read from and written to the stored value of the same name
// with its first letter in capitals (resetAlways <-> "ResetAlways"); the
// initial values here are the defaults a missing value takes.

namespace quillon::settings {

// Written as "Version" by every full save, and shown in the About box.
inline constexpr std::string_view kVersionText = "Quillon 9.0";

// Program and plug-in share the stored values; a few belong to one of them.
enum class Deliverable { kProgram, kPlugin };

// The program's two main windows remember their sizes separately: the folder
// browser of an empty command line and the editor of files named on it.
enum class WindowMode { kInteractive, kEdit };

struct DialogPlacement {
    // Pixels; 0 asks for the designed size. The window clamps on use.
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t maximized = 0;  // 1 or 0
};

struct SettingsValues {
    // Installation folder (machine-wide, read only), ending in '/': the lens
    // database and the help file are opened as root + file name.
    std::string root;

    std::string language;  // a name of the language table

    // Preferences of the Options dialog, each 0 or 1.
    std::int32_t resetAlways = 1;
    std::int32_t converterDetected = 0;
    std::int32_t detectCamera = 1;
    std::int32_t detectLens = 1;
    std::int32_t detectFlen = 1;
    std::int32_t alwaysDisplayDialog = 0;  // plug-in only

    // Program only.
    std::string suffix = "_lc";  // inserted before the extension of output names
    std::string viewerPath;      // external viewer or editor
    std::string inputDir;        // folder last chosen for input images
    std::int32_t jpegQuality = 90;

    std::int32_t gridColor = 255;  // red in the low byte, then green, then blue
    std::int32_t tab = 0;          // 0 vignetting, 1 perspective, 2 chromatic aberration
    float flen = 0.0f;             // focal length last used for the current lens, mm

    // Size of the main window in the mode of this run (program) or of the
    // plug-in's dialog.
    DialogPlacement dialog;
};

}  // namespace quillon::settings
