// Wiring the bridge to KWin's script into the Qt loop.
#include "platform/linux/kwin/kwin_backend.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdlib>
#include <string_view>

#include "platform/linux/kwin/bus_instance.h"

namespace tallowmere {
namespace {

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
    if (!self->bridge_->start(whyNot)) {
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
