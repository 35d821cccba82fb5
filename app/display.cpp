#include "app/display.h"

#include <cstdlib>
#include <string_view>

#include <xcb/xcb.h>

namespace quillon::app {

bool DisplayAvailable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0' && std::string_view(platform) != "xcb") {
        return true;
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return false;
    // The toolkit ends the process when the display named does not answer;
    // ask first, so such a start goes on without windows instead.
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

}  // namespace quillon::app
