#pragma once

#include <cstdint>
#include <vector>

#include <xcb/xcb.h>

// The colour profile the display publishes for itself. X11 colour management
// tools put the monitor's ICC profile on the root window as the property
// _ICC_PROFILE; the preview is shown through it where it is there.

namespace quillon::app {

// Profiles larger than this are not taken: far beyond any monitor's, and a
// root-window property anybody can set must not make the program fetch more.
inline constexpr std::uint32_t kMaxDisplayProfileBytes = 16u << 20;

// The bytes of the _ICC_PROFILE property of `root`, or none: no such
// property, one that is not a list of bytes, or one above the size limit. The
// preview then assumes an sRGB display.
std::vector<std::uint8_t> ReadDisplayProfile(xcb_connection_t* connection, xcb_window_t root);

// The same for the display the program's windows are on; none when that is
// not an X11 display.
std::vector<std::uint8_t> DisplayIccProfile();

}  // namespace quillon::app
