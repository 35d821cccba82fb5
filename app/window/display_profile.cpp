#include "app/window/display_profile.h"

#include <QGuiApplication>
#include <cstdlib>
#include <memory>

namespace quillon::app {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

}  // namespace

std::vector<std::uint8_t> ReadDisplayProfile(xcb_connection_t* connection, xcb_window_t root) {
    static constexpr char kName[] = "_ICC_PROFILE";
    std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, sizeof kName - 1, kName), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) return {};

    // Lengths are counted in 32-bit units.
    std::unique_ptr<xcb_get_property_reply_t, FreeDeleter> property(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, root, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0,
                         kMaxDisplayProfileBytes / 4),
        nullptr));
    // bytes_after: more than the limit is there; the profile is not taken cut.
    if (!property || property->format != 8 || property->bytes_after != 0) return {};
    const int length = xcb_get_property_value_length(property.get());
    if (length <= 0 || static_cast<std::uint32_t>(length) > kMaxDisplayProfileBytes) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(xcb_get_property_value(property.get()));
    return std::vector<std::uint8_t>(bytes, bytes + length);
}

std::vector<std::uint8_t> DisplayIccProfile() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) return {};
    xcb_connection_t* connection = x11->connection();
    const xcb_setup_t* setup = xcb_get_setup(connection);
    if (setup == nullptr) return {};
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (screens.rem == 0 || screens.data == nullptr) return {};
    return ReadDisplayProfile(connection, screens.data->root);
}

}  // namespace quillon::app
