// The yardstick for the shell's idle cost: the least a Qt 6 tray program with its own X connection
// does (QApplication, a tray icon from an SVG, a twelve-item menu, an xcb connection read on a
// socket notifier), with nothing of Tallowmere in it.
#include <xcb/xcb.h>

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    xcb_connection_t* conn = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn)) {
        return 1;
    }
    // Listen to the root as a window watcher would.
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(conn, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(conn);
    QSocketNotifier notifier(xcb_get_file_descriptor(conn), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [conn] {
        while (xcb_generic_event_t* event = xcb_poll_for_event(conn)) {
            std::free(event);
        }
    });

    QMenu menu;
    for (int i = 1; i <= 12; ++i) {
        if (i == 2 || i == 4 || i == 7 || i == 9 || i == 11) {
            menu.addSeparator();
        } else {
            menu.addAction(QString("Item %1").arg(i));
        }
    }
    QSystemTrayIcon tray(QIcon(argc > 1 ? argv[1] : ""));
    tray.setContextMenu(&menu);
    tray.show();
    const int status = QApplication::exec();
    xcb_disconnect(conn);
    return status;
}
