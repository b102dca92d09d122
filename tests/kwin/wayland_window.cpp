// A Wayland client for the tests on KWin: one plain window whose app id (KWin's resource class),
// title and size come from the command line, and with "dialog" a dialog of it as well. It prints
// "shown" once it asked for its windows; SIGTERM closes it.
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
    qputenv("QT_QPA_PLATFORM", "wayland");
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    const QString title = QString::fromLocal8Bit(argv[2]);
    QWidget window;
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
