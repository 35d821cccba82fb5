#pragma once

#include <cstdint>
#include <vector>

// The colour profile the display publishes for itself. X11 colour management
// tools put the monitor's ICC profile on the root window as the property
// _ICC_PROFILE; the preview is shown through it where it is there.

namespace quillon::app {

// The profile's bytes, or none (no X11 display, no such property, or one of
// an unreasonable size): the preview then assumes an sRGB display.
std::vector<std::uint8_t> DisplayIccProfile();

}  // namespace quillon::app
