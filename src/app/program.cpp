#include "app/program.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMenu>
#include <QSocketNotifier>
#include <QtGlobal>
#include <atomic>
#include <csignal>
#include <iostream>

#include "app/app_delegate.h"
#include "app/backend_choice.h"
#include "app/menu_description.h"
#include "platform/diagnostics.h"
#include "platform/linux/json_preferences_store.h"
#include "platform/linux/preferences_path.h"
#include "platform/random_source.h"
#include "settings/app_settings.h"
#include "ui/qt_translations.h"
#include "ui/settings_view.h"

// Outside any namespace, as Qt's resource initialiser must be.
static void initResources() {
    Q_INIT_RESOURCE(tallowmere);  // the icon lives in a static library
}

namespace tallowmere {
namespace {

using namespace std::chrono_literals;

// A running program that does not answer within this is hung; say so rather than wait forever.
constexpr auto kAnswerTimeout = 10s;

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

class StderrDiagnosticSink final : public DiagnosticSink {
  public:
    void log(std::string_view line) override { std::cerr << line << '\n'; }
};

}  // namespace

// What lives from the wiring to the end of the event loop, in the order it is built.
struct Program::Shell {
    std::unique_ptr<DesktopBackend> backend;
    SystemRandomSource random;
    DiscardingDiagnosticSink quiet;
    StderrDiagnosticSink loud;
    std::unique_ptr<AppDelegate> delegate;
};

Program::Program(int argc, char** argv) : argc_(argc), argv_(argv) {}

Program::~Program() {
    shell_.reset();
    commandNotifier_.reset();
    signalNotifier_.reset();
    application_.reset();
}

int Program::run() {
    QStringList arguments;
    for (int i = 0; i < argc_; ++i) {
        arguments << QString::fromLocal8Bit(argv_[i]);
    }
    options_ = parseCommandLine(arguments);
    switch (options_.outcome) {
        case CommandLine::Outcome::help:
        case CommandLine::Outcome::version:
            std::cout << options_.text;
            return 0;
        case CommandLine::Outcome::usageError:
            std::cerr << options_.text;
            return 2;
        case CommandLine::Outcome::run:
            break;
    }

    // Checked before Qt, which aborts without a display.
    std::string whyNot;
    backendChoice_ = std::make_unique<BackendChoice>(chooseBackend());
    selection_ = backendChoice_->connectInstance(whyNot);
    if (!selection_) {
        std::cerr << "tallowmere: " << whyNot << '\n';
        return 1;
    }
    if (options_.command) {
        return report(selection_->send(*options_.command, kAnswerTimeout), *options_.command);
    }
    // A second start brings the running one forward. When that one ends between our look and
    // our request, look again: this start may be the one to run.
    for (int attempt = 0; attempt < 3; ++attempt) {
        switch (selection_->claim()) {
            case SingleInstance::Claim::acquired:
                return runHere();
            case SingleInstance::Claim::heldByAnother: {
                const auto delivery = selection_->send(InstanceCommand::settings, kAnswerTimeout);
                if (delivery != SingleInstance::Delivery::noInstance) {
                    return report(delivery, InstanceCommand::settings);
                }
                continue;
            }
            case SingleInstance::Claim::failed:
                break;
        }
        break;
    }
    std::cerr << "tallowmere: cannot tell whether tallowmere already runs on display "
              << selection_->displayName() << '\n';
    return 1;
}

int Program::report(SingleInstance::Delivery delivery, InstanceCommand command) {
    const std::string& display = selection_->displayName();
    switch (delivery) {
        case SingleInstance::Delivery::done:
            return 0;
        case SingleInstance::Delivery::noInstance:
            std::cerr << "tallowmere: tallowmere is not running on display " << display
                      << "; start it first\n";
            return 1;
        case SingleInstance::Delivery::refused:
            std::cerr << "tallowmere: the tallowmere running on display " << display
                      << " refused --" << commandName(command) << '\n';
            return 1;
        case SingleInstance::Delivery::noAnswer:
            break;
    }
    std::cerr << "tallowmere: the tallowmere running on display " << display << " did not answer\n";
    return 1;
}

int Program::runHere() {
    // Qt on the platform the backend talks to (xcb for the X11 one).
    qputenv("QT_QPA_PLATFORM", backendChoice_->qtPlatform);
    qtMessageHandler = qInstallMessageHandler(onQtMessage);
    avoidAutolaunchedSessionBus();
    application_ = std::make_unique<QApplication>(argc_, argv_);
    initResources();
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName("tallowmere");
    QApplication::setApplicationVersion(TALLOWMERE_VERSION);
    if (!ui::installQtJapaneseTranslations(*application_)) {
        std::cerr << "tallowmere: Qt's Japanese translations (qtbase_ja.qm, Debian package "
                     "qt6-translations-l10n) are missing; Qt's own dialogs will speak English\n";
    }

    if (const int failed = startShell()) {
        return failed;
    }
    catchSignals();
    shell_->delegate->applicationDidFinishLaunching();
    if (options_.verbose) {
        traceMenus();
    }
    // After the shell has started, so that a command that came meanwhile finds it complete.
    listenForCommands();
    if (options_.verbose) {
        // Start-up is complete, hot keys included: tests wait for this before probing grabs.
        std::cerr << "tallowmere: started" << std::endl;
    }
    const int status = QApplication::exec();
    if (options_.verbose && exitCode_ == 0) {
        // Stress runs compare this with the frame moves they saw. (After a lost connection the
        // user reads one line about it and nothing else.)
        std::cerr << "tallowmere: moves sent " << shell_->backend->movesSent() << '\n';
    }
    shell_->delegate->applicationWillTerminate();
    shell_->delegate.reset();
    return exitCode_ != 0 ? exitCode_ : status;
}

int Program::startShell() {
    auto path = defaultPreferencesPath();
    if (!path) {
        std::cerr << "tallowmere: cannot find a home for the preferences (HOME is unset)\n";
        return 1;
    }
    auto store = std::make_shared<JsonPreferencesStore>(*path);
    // The stored macOS identifiers mean nothing here: by default, watch the X11 classes of the
    // same kinds of application.
    AppSettings::installSharedStore(store, AppSettings::linuxDefaultMonitoredBundleIdentifiers());
    AppSettings& settings = AppSettings::shared();

    shell_ = std::make_unique<Shell>();
    std::string whyNot;
    shell_->backend = backendChoice_->open(whyNot);
    if (!shell_->backend) {
        std::cerr << "tallowmere: " << whyNot << '\n';
        return 1;
    }
    Shell& shell = *shell_;
    DesktopBackend& backend = *shell.backend;
    EnginePorts ports{
        .accessibility = backend.accessibility(),
        .workspace = backend.workspace(),
        .screens = backend.screens(),
        .loop = backend.loop(),
        .feedbackWindows = backend.feedbackWindows(),
        .random = shell.random,
        .diagnostics = options_.verbose ? static_cast<DiagnosticSink&>(shell.loud) : shell.quiet,
        .settings = settings,
    };
    // The settings window probes shortcuts through the shell's registrations, so it is built by a
    // closure that runs once the shell exists.
    KeyboardGrab& keyboardGrab = backend.keyboardGrab([&shell]() -> std::uintptr_t {
        return shell.delegate && shell.delegate->settingsWindow
                   ? std::uintptr_t(shell.delegate->settingsWindow->winId())
                   : 0;
    });
    const bool verbose = options_.verbose;
    auto makeSettingsView = [&shell, &settings, &keyboardGrab, verbose]() -> QWidget* {
        return new ui::SettingsView(
            settings,
            {.hotKeys = shell.delegate->hotKeyCenter(),
             .keyMonitor = shell.backend->keyMonitor(),
             .keyboardGrab = keyboardGrab,
             .apps = {.runningWindows = [&shell] { return shell.backend->runningWindows(); }},
             .shortcutTrace = verbose ? [](const std::string& shown) {
                 std::cerr << "tallowmere: shortcut field: " << shown << '\n';
             } : std::function<void(const std::string&)>()});
    };
    shell.delegate = std::make_unique<AppDelegate>(ShellPorts{
        .engine = ports,
        .hotKeys = backend.hotKeys(),
        .setMenuOpen = [&backend](bool open) { backend.setMenuOpen(open); },
        .catchUp = [&backend] { backend.catchUp(); },
        .makeSettingsView = makeSettingsView,
    });

    if (options_.verbose) {
        backend.onUnexpectedError(
            [](const std::string& error) { std::cerr << "tallowmere: " << error << '\n'; });
    }
    backend.onConnectionLost([this] {
        reportConnectionLoss();
        exitCode_ = 1;
        QCoreApplication::exit(1);
    });
    return 0;
}

void Program::catchSignals() {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signalNotifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated,
                     [] { QCoreApplication::exit(0); });
}

void Program::listenForCommands() {
    auto dispatch = [this] {
        const bool held = selection_->dispatch([this](InstanceCommand c) { carryOut(c); });
        if (!commandNotifier_->isEnabled()) {
            return;
        }
        if (selection_->broken()) {
            // The server is gone: the backend's connection says so, once.
            commandNotifier_->setEnabled(false);
        } else if (!held) {
            commandNotifier_->setEnabled(false);
            std::cerr << "tallowmere: another program took over display "
                      << selection_->displayName() << "; quitting\n";
            QCoreApplication::exit(0);
        }
    };
    commandNotifier_ = std::make_unique<QSocketNotifier>(selection_->fd(), QSocketNotifier::Read);
    QObject::connect(commandNotifier_.get(), &QSocketNotifier::activated, dispatch);
    dispatch();  // what xcb read before the notifier existed
}

void Program::carryOut(InstanceCommand command) {
    if (options_.verbose) {
        std::cerr << "tallowmere: command: " << commandName(command) << '\n';
    }
    AppDelegate& delegate = *shell_->delegate;
    switch (command) {
        case InstanceCommand::settings:
            delegate.showSettings();
            break;
        case InstanceCommand::realign:
            delegate.manualRealign();
            break;
        case InstanceCommand::center:
            delegate.manualCenterRealign();
            break;
        case InstanceCommand::quit:
            delegate.quitApp();
            break;
    }
}

void Program::traceMenus() {
    // Connected after the shell's own handlers, so the items are already refreshed.
    auto trace = [](const char* what, const QMenu* menu) {
        std::cerr << "tallowmere: " << what << ": " << describeMenu(*menu).toStdString() << '\n';
    };
    QMenu* menu = shell_->delegate->statusMenu.get();
    QObject::connect(menu, &QMenu::aboutToShow, [trace, menu] { trace("menu", menu); });
    if (QMenu* apps = shell_->delegate->monitoredAppsSubmenu) {
        QObject::connect(apps, &QMenu::aboutToShow, [trace, apps] { trace("submenu", apps); });
    }
}

}  // namespace tallowmere
