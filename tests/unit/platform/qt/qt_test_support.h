// Drives the Qt event loop in tests: runs it until a condition holds.
#pragma once

#include <QCoreApplication>
#include <QTimer>
#include <functional>

namespace tallowmere::linux_qt {

// Processes events until `done` holds; a generous guard (not a timing check) ends a test that
// would otherwise hang, and the result then is false.
inline bool spinUntil(const std::function<bool()>& done) {
    bool expired = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { expired = true; });
    guard.start(30000);
    while (!done() && !expired) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return done();
}

}  // namespace tallowmere::linux_qt
