// A manual check of the feedback windows on a real display: a red and a green border and the
// "not enough windows" banner, shown through the core's own composition, then the program quits.
//   feedback_demo [--compositing] [--delay SECONDS] [--snap PATH@SECONDS]...
// Each --snap takes a screenshot of the whole screen with ImageMagick's `import` that many seconds
// after the windows opened.
#include <QApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>
#include <vector>

#include "motion/feedback.h"
#include "platform/linux/qt/qt_feedback_windows.h"
#include "platform/linux/qt/qt_main_loop.h"

namespace {

using namespace tallowmere;

// Qt's screens in the core's bottom-left model, in device pixels; the visible frame is taken as
// the whole frame.
class QtScreens final : public Screens {
  public:
    std::vector<Screen> screens() override {
        std::vector<Screen> result;
        const QList<QScreen*> all = QGuiApplication::screens();
        if (all.isEmpty()) {
            return result;
        }
        const double height = all.front()->geometry().height() * all.front()->devicePixelRatio();
        for (const QScreen* screen : all) {
            const QRect g = screen->geometry();
            const QSize size = g.size() * screen->devicePixelRatio();
            const Rect frame{{double(g.x()), height - g.y() - size.height()},
                             {double(size.width()), double(size.height())}};
            result.push_back(Screen{frame, frame});
        }
        return result;
    }
    std::optional<Screen> mainScreen() override {
        auto all = screens();
        return all.empty() ? std::nullopt : std::optional<Screen>(all.front());
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    bool compositing = false;
    double delay = 0;
    std::vector<std::pair<QString, double>> snaps;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == "--compositing") {
            compositing = true;
        } else if (args[i] == "--delay" && i + 1 < args.size()) {
            delay = args[++i].toDouble();
        } else if (args[i] == "--snap" && i + 1 < args.size()) {
            const QStringList parts = args[++i].split('@');
            snaps.emplace_back(parts.value(0), parts.value(1).toDouble());
        } else {
            std::fprintf(stderr,
                         "usage: feedback_demo [--compositing] [--delay SECONDS] [--snap "
                         "PATH@SECONDS]...\n");
            return 2;
        }
    }

    linux_qt::QtMainLoop loop;
    QtScreens screens;
    linux_qt::QtFeedbackWindows windows(loop, screens, compositing);
    Feedback feedback(screens, windows, loop);

    // With a delay the windows open on a running loop, as they do in the program.
    loop.dispatchAfter(delay, [&] {
        feedback.flashOverlay(kSystemRedColor, Rect{{100, 120}, {800, 600}}, 1.2);
        feedback.flashOverlay(kSystemGreenColor, Rect{{960, 160}, {700, 500}}, 1.2);
        feedback.showToast("整理対象のウィンドウが足りません", std::nullopt);
    });

    double last = delay + 1.6;
    for (const auto& [path, at] : snaps) {
        last = std::max(last, delay + at + 0.2);
        loop.dispatchAfter(delay + at, [path] {
            const int status = QProcess::execute("import", {"-window", "root", path});
            std::printf("snap %s: %s\n", qPrintable(path), status == 0 ? "ok" : "failed");
            std::fflush(stdout);
        });
    }
    loop.dispatchAfter(last, [] { QCoreApplication::quit(); });
    return app.exec();
}
