// The part of Plasma's panel a tray icon needs on a bare KWin: org.kde.StatusNotifierWatcher,
// saying a host is there and taking registrations. Prints "ready" once it owns the name and
// "registered SERVICE" per item, on standard error.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QObject>
#include <iostream>

class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER host_ CONSTANT)
    bool host_ = true;

  public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        std::cerr << "registered " << service.toStdString() << std::endl;
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Watcher watcher;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(
            "/StatusNotifierWatcher", &watcher,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) ||
        !bus.registerService("org.kde.StatusNotifierWatcher")) {
        return 1;
    }
    std::cerr << "ready" << std::endl;
    return QCoreApplication::exec();
}

#include "status_notifier_watcher.moc"
