#pragma once

// Whether windows can be shown. Asked by both executables and by the plug-in
// before the toolkit is loaded, so it links no toolkit itself.

namespace quillon::app {

// An X11 display answers, or the toolkit was told explicitly which platform to
// show windows on.
bool DisplayAvailable();

}  // namespace quillon::app
