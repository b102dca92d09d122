// A Wayland client with one plain window, for the tests on KWin: its app id (KWin's resource
// class) and size come from the command line. It prints "shown" once it asked for the window;
// SIGTERM closes it.
#include <unistd.h>
#include <QApplication>
#include <QWidget>
#include <csignal>
#include <cstdlib>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: wayland_window APP-ID WIDTH HEIGHT\n";
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "wayland");
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    QWidget window;
    window.resize(std::atoi(argv[2]), std::atoi(argv[3]));
    window.setWindowTitle(QString::fromLocal8Bit(argv[1]));
    window.show();
    std::signal(SIGTERM, [](int) { _exit(0); });
    std::cerr << "shown" << std::endl;
    return QApplication::exec();
}
