// The tallowmere program: the composition root that wires the Linux backend, the preferences file
// and the settings to the engine, and runs the Qt event loop.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMenu>
#include <QSocketNotifier>
#include <QtGlobal>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include "app/app_delegate.h"
#include "app/linux_backend.h"
#include "app/menu_description.h"
#include "platform/diagnostics.h"
#include "platform/linux/hotkeys/x11_keyboard_grab.h"
#include "platform/linux/json_preferences_store.h"
#include "platform/linux/preferences_path.h"
#include "platform/random_source.h"
#include "settings/app_settings.h"
#include "ui/qt_local_key_monitor.h"
#include "ui/qt_translations.h"
#include "ui/settings_view.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    // Nothing else is safe here; the loop does the rest.
    [[maybe_unused]] auto written = write(signalPipe[1], &byte, 1);
}

// Without a session bus address, libdbus would autolaunch a bus (dbus-launch + dbus-daemon) for
// Qt's tray and theme look-ups, and those processes outlive us. Use the user's bus where systemd
// put one; otherwise an address that fails at once.
void avoidAutolaunchedSessionBus() {
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) {
        return;
    }
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && access((runtime + "/bus").constData(), F_OK) == 0) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtime + "/bus");
    } else {
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tallowmere-no-session-bus");
    }
}

std::atomic<bool> connectionLossReported{false};
QtMessageHandler qtMessageHandler = nullptr;

void reportConnectionLoss() {
    if (!connectionLossReported.exchange(true)) {
        std::cerr << "tallowmere: lost the connection to the X server; quitting\n";
    }
}

// Qt's own xcb connection breaks together with ours when the server dies, and Qt then says so
// and exits by itself: whichever notices first, the user reads one message.
void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("The X11 connection broke"))) {
        reportConnectionLoss();
        return;
    }
    if (qtMessageHandler) {
        qtMessageHandler(type, context, message);
    } else {
        std::cerr << message.toStdString() << '\n';
    }
}

class StderrDiagnosticSink final : public tallowmere::DiagnosticSink {
  public:
    void log(std::string_view line) override { std::cerr << line << '\n'; }
};

}  // namespace

int main(int argc, char** argv) {
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0) {
            verbose = true;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::cout
                << "usage: tallowmere [--verbose]\n"
                   "  --verbose  print the engine's diagnostic lines, the items of every menu\n"
                   "             opened (\"tallowmere: menu: ...\") and what the shortcut fields\n"
                   "             show (\"tallowmere: shortcut field: ...\"), on standard error\n";
            return 0;
        }
    }

    // An X11 program: the window backend talks to the X server itself.
    qputenv("QT_QPA_PLATFORM", "xcb");
    qtMessageHandler = qInstallMessageHandler(onQtMessage);
    avoidAutolaunchedSessionBus();
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(tallowmere);  // the icon lives in a static library
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName("tallowmere");
    QApplication::setApplicationVersion(TALLOWMERE_VERSION);
    if (!tallowmere::ui::installQtJapaneseTranslations(application)) {
        std::cerr << "tallowmere: Qt's Japanese translations (qtbase_ja.qm, Debian package "
                     "qt6-translations-l10n) are missing; Qt's own dialogs will speak English\n";
    }

    auto path = tallowmere::defaultPreferencesPath();
    if (!path) {
        std::cerr << "tallowmere: cannot find a home for the preferences (HOME is unset)\n";
        return 1;
    }
    auto store = std::make_shared<tallowmere::JsonPreferencesStore>(*path);
    // The stored macOS identifiers mean nothing here: by default, watch the X11 classes of the
    // same kinds of application.
    tallowmere::AppSettings::installSharedStore(
        store, tallowmere::AppSettings::linuxDefaultMonitoredBundleIdentifiers());
    tallowmere::AppSettings& settings = tallowmere::AppSettings::shared();

    std::string whyNot;
    auto backend = tallowmere::LinuxBackend::open(whyNot);
    if (!backend) {
        std::cerr << "tallowmere: " << whyNot << '\n';
        return 1;
    }
    tallowmere::SystemRandomSource random;
    tallowmere::DiscardingDiagnosticSink quiet;
    StderrDiagnosticSink loud;
    tallowmere::EnginePorts ports{
        .accessibility = backend->desktop(),
        .workspace = backend->desktop(),
        .screens = backend->screens(),
        .loop = backend->loop(),
        .feedbackWindows = backend->feedbackWindows(),
        .random = random,
        .diagnostics = verbose ? static_cast<tallowmere::DiagnosticSink&>(loud) : quiet,
        .settings = settings,
    };
    // The settings window probes shortcuts through the shell's registrations, so it is built by a
    // closure that runs once the shell exists.
    tallowmere::ui::QtLocalKeyMonitor keyMonitor;
    tallowmere::AppDelegate* shell = nullptr;
    // On the settings window through Qt's own connection: the presses then reach that window as
    // ordinary key events.
    auto* qtX11 = application.nativeInterface<QNativeInterface::QX11Application>();
    tallowmere::X11KeyboardGrab keyboardGrab(qtX11 ? qtX11->connection() : nullptr, [&shell] {
        return shell && shell->settingsWindow ? xcb_window_t(shell->settingsWindow->winId())
                                              : xcb_window_t(XCB_WINDOW_NONE);
    });
    auto makeSettingsView = [&]() -> QWidget* {
        return new tallowmere::ui::SettingsView(
            settings,
            {.hotKeys = shell->hotKeyCenter(),
             .keyMonitor = keyMonitor,
             .keyboardGrab = keyboardGrab,
             .apps = {.runningWindows = [&backend] { return backend->runningWindows(); }},
             .shortcutTrace = verbose ? [](const std::string& shown) {
                 std::cerr << "tallowmere: shortcut field: " << shown << '\n';
             } : std::function<void(const std::string&)>()});
    };
    auto delegate = std::make_unique<tallowmere::AppDelegate>(tallowmere::ShellPorts{
        .engine = ports,
        .hotKeys = backend->hotKeys(),
        .setMenuOpen = [&backend](bool open) { backend->loop().setMenuOpen(open); },
        .makeSettingsView = makeSettingsView,
    });
    shell = delegate.get();

    if (verbose) {
        backend->onUnexpectedXError([](const xcb_generic_error_t& error) {
            std::cerr << "tallowmere: X error " << int(error.error_code) << " on request "
                      << int(error.major_code) << '\n';
        });
    }
    int exitCode = 0;
    backend->onConnectionLost([&] {
        reportConnectionLoss();
        exitCode = 1;
        QCoreApplication::exit(1);
    });

    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated,
                     [] { QCoreApplication::exit(0); });

    delegate->applicationDidFinishLaunching();
    if (verbose) {
        // Connected after the shell's own handlers, so the items are already refreshed.
        auto trace = [](const char* what, const QMenu* menu) {
            std::cerr << "tallowmere: " << what << ": "
                      << tallowmere::describeMenu(*menu).toStdString() << '\n';
        };
        QMenu* menu = delegate->statusMenu.get();
        QObject::connect(menu, &QMenu::aboutToShow, [trace, menu] { trace("menu", menu); });
        if (QMenu* apps = delegate->monitoredAppsSubmenu) {
            QObject::connect(apps, &QMenu::aboutToShow, [trace, apps] { trace("submenu", apps); });
        }
        // Start-up is complete, hot keys included: tests wait for this before probing grabs.
        std::cerr << "tallowmere: started" << std::endl;
    }
    const int status = QApplication::exec();
    if (verbose && exitCode == 0) {
        // Stress runs compare this with the frame moves they saw. (After a lost connection the
        // user reads one line about it and nothing else.)
        std::cerr << "tallowmere: moves sent " << backend->desktop().mover().requestsSent() << '\n';
    }
    delegate->applicationWillTerminate();
    delegate.reset();
    return exitCode != 0 ? exitCode : status;
}
