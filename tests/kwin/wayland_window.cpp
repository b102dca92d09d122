// A client for the tests on KWin: one plain frameless 300 by 200 window whose app id (KWin's
// resource class) and title come from the command line, and with "dialog" a dialog of it as well.
// A Wayland client, or with QT_QPA_PLATFORM=xcb an X11 one under XWayland (WM_CLASS class = the
// app id). It prints "shown" once it asked for its windows; SIGTERM closes it.
#include <unistd.h>
#include <QApplication>
#include <QDialog>
#include <QWidget>
#include <csignal>
#include <iostream>
#include <string_view>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: wayland_window APP-ID TITLE [dialog]\n";
        return 2;
    }
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    QCoreApplication::setApplicationName(QString::fromLocal8Bit(argv[1]));
    QWidget window;
    window.setWindowFlag(Qt::FramelessWindowHint);
    window.resize(300, 200);
    window.setWindowTitle(QString::fromLocal8Bit(argv[2]));
    window.show();
    QDialog dialog(&window);
    if (argc > 3 && std::string_view(argv[3]) == "dialog") {
        dialog.resize(200, 100);
        dialog.setWindowTitle(window.windowTitle() + QStringLiteral("-dialog"));
        dialog.show();
    }
    std::signal(SIGTERM, [](int) { _exit(0); });
    std::cerr << "shown" << std::endl;
    return QApplication::exec();
}
