// Runs the Qt tests inside a QApplication on the offscreen platform, so no X server is needed and
// no window ever reaches the user's display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "platform/qt/qt_test_support.h"

namespace tallowmere::linux_qt {

bool spinUntil(const std::function<bool()>& done) {
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

namespace {

// The offscreen platform warns about every window feature it lacks (opacity, masks, raising);
// those lines say nothing about the code under test.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg &&
        (message.startsWith(QLatin1String("This plugin does not support")) ||
         message.startsWith(QLatin1String("QStandardPaths:")))) {
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
