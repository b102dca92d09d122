// The session-bus service behind the compositor's script.
#include "platform/linux/kwin/script_bridge.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <iostream>

#include "platform/linux/kwin/kwin_desktop.h"

namespace tallowmere::kwin {
namespace {

const QString kKWin = QStringLiteral("org.kde.KWin");

// KWin drops a script's call chain when a call fails, and a call fails after 25 s without a reply:
// an idle request is answered with an empty batch well before that.
constexpr int kIdleAnswerMs = 10000;

// Plain method calls: an interface object would introspect KWin first, and Qt keeps what it
// learnt until exit.
QDBusMessage callScripting(const QDBusConnection& bus, const QString& method,
                           const QList<QVariant>& arguments = {}) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kKWin, QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"), method);
    call.setArguments(arguments);
    return bus.call(call);
}

}  // namespace

ScriptBridge::ScriptBridge(KWinDesktop& desktop, QDBusConnection bus, QString scriptPath)
    : desktop_(desktop), bus_(std::move(bus)), scriptPath_(std::move(scriptPath)) {
    idle_.setSingleShot(true);
    idle_.setInterval(kIdleAnswerMs);
    connect(&idle_, &QTimer::timeout, this, [this] { answerPoll(); });
    desktop_.onMoveRequested([this] { answerSoon(); });
}

// Every move of one frame goes in one batch: answer once the frame's writes are done.
void ScriptBridge::answerSoon() {
    if (poll_ && !answerQueued_) {
        answerQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            answerQueued_ = false;
            answerPoll();
        });
    }
}

void ScriptBridge::place(Placement placement) {
    placements_.push_back(std::move(placement));
    answerSoon();
}

ScriptBridge::~ScriptBridge() {
    stop();
}

bool ScriptBridge::start(std::string& whyNot) {
    if (!bus_.registerObject(kPath, this, QDBusConnection::ExportScriptableSlots)) {
        whyNot = "cannot offer our service on the session bus";
        return false;
    }
    if (!bus_.registerService(kService)) {
        whyNot = "cannot take the name " + std::string(kService) + " on the session bus";
        return false;
    }
    if (!loadScript(whyNot)) {
        return false;
    }
    // A restarted KWin has forgotten the script: give it again.
    watcher_ = std::make_unique<QDBusServiceWatcher>(kKWin, bus_,
                                                     QDBusServiceWatcher::WatchForOwnerChange);
    connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) { kwinAppeared(owner); });
    started_ = true;
    return true;
}

void ScriptBridge::kwinAppeared(const QString& owner) {
    desktop_.disconnected();
    poll_.reset();
    if (owner.isEmpty()) {
        return;
    }
    std::string whyNot;
    if (!loadScript(whyNot)) {
        std::cerr << "tallowmere: " << whyNot << '\n';
    }
}

bool ScriptBridge::loadScript(std::string& whyNot) {
    kwinOwner_ = bus_.interface()->serviceOwner(kKWin).value();
    // One a crash left behind goes first.
    callScripting(bus_, QStringLiteral("unloadScript"), {QString(kScriptName)});
    QDBusReply<int> id =
        callScripting(bus_, QStringLiteral("loadScript"), {scriptPath_, QString(kScriptName)});
    if (!id.isValid() || id.value() < 0) {
        whyNot = "KWin did not load the script " + scriptPath_.toStdString() +
                 (id.isValid() ? "" : ": " + id.error().message().toStdString());
        return false;
    }
    callScripting(bus_, QStringLiteral("start"));
    return true;
}

void ScriptBridge::stop() {
    if (!started_) {
        return;
    }
    started_ = false;
    watcher_.reset();
    idle_.stop();
    if (poll_) {
        bus_.send(poll_->createReply(QStringLiteral("{}")));
        poll_.reset();
    }
    callScripting(bus_, QStringLiteral("unloadScript"), {QString(kScriptName)});
    bus_.unregisterService(kService);
    bus_.unregisterObject(kPath);
}

bool ScriptBridge::fromKWin() {
    // Anyone on the bus may call us; only KWin's script is listened to.
    return calledFromDBus() && message().service() == kwinOwner_;
}

void ScriptBridge::snapshot(const QString& json) {
    if (!fromKWin()) {
        return;
    }
    if (auto decoded = decodeSnapshot(json.toStdString())) {
        desktop_.snapshot(std::move(*decoded));
    }
}

void ScriptBridge::window(const QString& json) {
    if (!fromKWin()) {
        return;
    }
    if (auto decoded = decodeWindow(json.toStdString())) {
        desktop_.windowChanged(std::move(*decoded));
    }
}

void ScriptBridge::removed(const QString& id) {
    if (fromKWin()) {
        desktop_.windowRemoved(id.toStdString());
    }
}

void ScriptBridge::active(const QString& id) {
    if (fromKWin()) {
        desktop_.activeChanged(id.toStdString());
    }
}

QString ScriptBridge::nextMoves() {
    if (!fromKWin()) {
        return QStringLiteral("{}");
    }
    // This request says the last batch was applied; a request still open is stale.
    if (poll_) {
        bus_.send(poll_->createReply(QStringLiteral("{}")));
    }
    setDelayedReply(true);
    poll_ = message();
    if (desktop_.moves().pending() || !placements_.empty()) {
        answerPoll();
    } else {
        idle_.start();
    }
    return {};
}

void ScriptBridge::answerPoll() {
    if (!poll_) {
        return;
    }
    idle_.stop();
    const std::string batch = encodeBatch(desktop_.moves().take(), placements_);
    placements_.clear();
    bus_.send(poll_->createReply(QString::fromStdString(batch)));
    poll_.reset();
}

}  // namespace tallowmere::kwin
