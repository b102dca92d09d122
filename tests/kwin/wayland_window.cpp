// A client for the tests on KWin: `wayland_window APP-ID TITLE [dialog]` shows one frameless 300 by
// 200 window, and with "dialog" a dialog of it, then prints "shown". With QT_QPA_PLATFORM=xcb it
// is an X11 client under XWayland (WM_CLASS class = the app id).
#include <QApplication>
#include <QDialog>
#include <QWidget>
#include <iostream>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    QGuiApplication::setDesktopFileName(args.value(1));
    QCoreApplication::setApplicationName(args.value(1));
    QWidget window;
    window.setWindowFlag(Qt::FramelessWindowHint);
    window.resize(300, 200);
    window.setWindowTitle(args.value(2));
    window.show();
    QDialog dialog(&window);
    if (args.value(3) == "dialog") {
        dialog.resize(200, 100);
        dialog.setWindowTitle(window.windowTitle() + QStringLiteral("-dialog"));
        dialog.show();
    }
    std::cerr << "shown" << std::endl;
    return QApplication::exec();
}
