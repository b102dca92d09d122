// Wiring the bridge to KWin's script into the Qt loop.
#include "platform/linux/kwin/kwin_backend.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <string_view>

#include "platform/linux/kwin/bus_instance.h"
#include "platform/linux/kwin/qt_key_codes.h"

namespace tallowmere {
namespace {

constexpr int kFirstReportTimeoutMs = 5000;

// Installed as <prefix>/share/tallowmere/kwin beside <prefix>/bin; a build that was never
// installed uses the source tree's.
QString scriptPath() {
    const QString installed = QCoreApplication::applicationDirPath() +
                              QStringLiteral("/../share/tallowmere/kwin/tallowmere_bridge.js");
    if (QFileInfo::exists(installed)) {
        return QFileInfo(installed).canonicalFilePath();
    }
    return QStringLiteral(TALLOWMERE_KWIN_SCRIPT_SOURCE);
}

}  // namespace

bool KWinBackend::kwinSession() {
    return kwin::sessionBusHas("org.kde.KWin");
}

KWinBackend::KWinBackend()
    : desktop_([this](RunLoopMode mode,
                      std::function<void()> work) { loop_.post(mode, std::move(work)); },
               Pid(getpid())) {}

std::unique_ptr<KWinBackend> KWinBackend::open(std::string& whyNot) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        whyNot = "cannot reach the session bus: " + bus.lastError().message().toStdString();
        return nullptr;
    }
    std::unique_ptr<KWinBackend> self(new KWinBackend());
    self->bridge_ = std::make_unique<kwin::ScriptBridge>(self->desktop_, bus, scriptPath());
    KWinBackend* raw = self.get();
    self->hotKeys_ = std::make_unique<kwin::KGlobalAccelHotKeys>(bus);
    self->keyboardGrab_ = std::make_unique<kwin::KGlobalAccelKeyboardGrab>(bus);
    // Qt's Wayland platform reports X keycodes as its xcb one does; the compositor's layout is
    // not ours to read, so the characters come from the same layout as the shortcuts' keys.
    self->keyMonitor_ = std::make_unique<linux_qt::QtLocalKeyMonitor>(
        [](std::uint32_t keycode, std::uint32_t) { return kwin::unmodifiedCharacters(keycode); });
    // KWin composites always. Our windows cannot place themselves: the script puts each one, known
    // by a title of its own, where it belongs.
    self->feedback_ = std::make_unique<linux_qt::QtFeedbackWindows>(
        self->loop_, self->desktop_, true, [raw](QWidget& widget, const QRect& frame) {
            const QString title =
                QStringLiteral("tallowmere-feedback-%1").arg(++raw->feedbackWindows_);
            widget.setWindowTitle(title);
            widget.resize(frame.size());
            raw->bridge_->place(
                {title.toStdString(), {frame.x(), frame.y(), frame.width(), frame.height()}});
        });
    if (!self->bridge_->start(whyNot)) {
        return nullptr;
    }
    // The windows that are there already are taken in silently, as on X11, where they are read
    // at start: a window that opens after start-up must not be mistaken for one of them.
    QEventLoop wait;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &wait, &QEventLoop::quit);
    giveUp.start(kFirstReportTimeoutMs);
    while (!self->desktop_.connected() && giveUp.isActive()) {
        wait.processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (!self->desktop_.connected()) {
        whyNot = "KWin loaded the script but it did not report within " +
                 std::to_string(kFirstReportTimeoutMs / 1000) + " s";
        return nullptr;
    }
    return self;
}

KWinBackend::~KWinBackend() {
    bridge_.reset();  // unloads the script while the desktop it reports to still exists
}

void KWinBackend::onConnectionLost(std::function<void()>) {
    // KWin going away is not the end: its successor gets the script again.
}

std::uint64_t KWinBackend::movesSent() const {
    return const_cast<kwin::KWinDesktop&>(desktop_).moves().sent();
}

}  // namespace tallowmere
