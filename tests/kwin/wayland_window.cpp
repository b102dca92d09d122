// A client for the tests on KWin: one plain window whose app id (KWin's resource class), title and
// size come from the command line, and with "dialog" a dialog of it as well. A Wayland client, or
// with QT_QPA_PLATFORM=xcb an X11 one under XWayland (WM_CLASS class = the app id; frameless, so
// that its frame is its size as on Wayland). It prints "shown" once it asked for its windows;
// SIGTERM closes it.
#include <unistd.h>
#include <QApplication>
#include <QDialog>
#include <QWidget>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string_view>

int main(int argc, char** argv) {
    if (argc != 5 && !(argc == 6 && std::string_view(argv[5]) == "dialog")) {
        std::cerr << "usage: wayland_window APP-ID TITLE WIDTH HEIGHT [dialog]\n";
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "wayland");
    }
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    QCoreApplication::setApplicationName(QString::fromLocal8Bit(argv[1]));
    const QString title = QString::fromLocal8Bit(argv[2]);
    QWidget window;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        window.setWindowFlag(Qt::FramelessWindowHint);
    }
    window.resize(std::atoi(argv[3]), std::atoi(argv[4]));
    window.setWindowTitle(title);
    window.show();
    QDialog dialog(&window);
    if (argc == 6) {
        dialog.resize(200, 100);
        dialog.setWindowTitle(title + QStringLiteral("-dialog"));
        dialog.show();
    }
    std::signal(SIGTERM, [](int) { _exit(0); });
    std::cerr << "shown" << std::endl;
    return QApplication::exec();
}
