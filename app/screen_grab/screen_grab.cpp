// quillon-screengrab: saves a picture of a window of the program, for the
// screenshots of the documentation.
//
//   quillon-screengrab TITLE OUT.png [SECONDS]
//
// Waits up to SECONDS (default 30) for a top-level X11 window whose name
// contains TITLE, lets it settle for a moment, and writes what it shows to
// OUT.png. Exit code 0 when written, 1 otherwise.

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <xcb/xcb.h>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

std::string WindowName(xcb_connection_t* connection, xcb_window_t window) {
    std::unique_ptr<xcb_get_property_reply_t, FreeDeleter> reply(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, window, XCB_ATOM_WM_NAME,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                               nullptr));
    if (!reply) return {};
    const int length = xcb_get_property_value_length(reply.get());
    if (length <= 0) return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(length));
}

// The first mapped child of the root whose name contains `title`.
xcb_window_t FindWindow(xcb_connection_t* connection, xcb_window_t root, const std::string& title) {
    std::unique_ptr<xcb_query_tree_reply_t, FreeDeleter> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr));
    if (!tree) return XCB_WINDOW_NONE;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = count - 1; i >= 0; --i) {
        std::unique_ptr<xcb_get_window_attributes_reply_t, FreeDeleter> attributes(
            xcb_get_window_attributes_reply(
                connection, xcb_get_window_attributes(connection, children[i]), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
        if (WindowName(connection, children[i]).find(title) != std::string::npos) {
            return children[i];
        }
    }
    return XCB_WINDOW_NONE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: quillon-screengrab TITLE OUT.png [SECONDS]\n");
        return 1;
    }
    QGuiApplication application(argc, argv);
    auto* x11 = application.nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr) {
        std::fprintf(stderr, "quillon-screengrab: needs an X11 display\n");
        return 1;
    }
    xcb_connection_t* connection = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const std::string title = argv[1];
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 30;

    QElapsedTimer clock;
    clock.start();
    xcb_window_t window = XCB_WINDOW_NONE;
    while (window == XCB_WINDOW_NONE && clock.elapsed() < seconds * 1000LL) {
        window = FindWindow(connection, root, title);
        if (window == XCB_WINDOW_NONE) QThread::msleep(200);
    }
    if (window == XCB_WINDOW_NONE) {
        std::fprintf(stderr, "quillon-screengrab: no window named \"%s\"\n", title.c_str());
        return 1;
    }
    // The window shows its photo once it has read and rendered it.
    QThread::msleep(2500);
    const QPixmap picture = application.primaryScreen()->grabWindow(window);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "quillon-screengrab: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
