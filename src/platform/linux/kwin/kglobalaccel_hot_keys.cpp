// Registering, refusing and hearing global shortcuts over kglobalaccel's session-bus interface.
#include "platform/linux/kwin/kglobalaccel_hot_keys.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>

#include "platform/linux/kwin/qt_key_codes.h"

namespace tallowmere::kwin {
namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");

// KGlobalAccel's setShortcut flags: keep the keys we ask for now (SetPresent), never the ones a
// configuration file remembers from an earlier run (NoAutoloading).
constexpr uint kSetPresent = 2;
constexpr uint kNoAutoloading = 4;

// Plain method calls: an interface object would introspect the service first, and Qt keeps what
// it learnt until exit.
QDBusMessage callRegistry(const QDBusConnection& bus, const QString& method,
                          const QList<QVariant>& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/kglobalaccel"), QStringLiteral("org.kde.KGlobalAccel"), method);
    call.setArguments(arguments);
    return bus.call(call);
}

QStringList actionId(const QString& action) {
    return {QString(KGlobalAccelHotKeys::kComponent), action, QStringLiteral("Tallowmere"), action};
}

struct Registration final : EventHotKeyRefImpl {
    explicit Registration(QString a) : action(std::move(a)) {}
    QString action;
};

}  // namespace

KGlobalAccelHotKeys::KGlobalAccelHotKeys(QDBusConnection bus) : bus_(std::move(bus)) {}

KGlobalAccelHotKeys::~KGlobalAccelHotKeys() {
    for (const auto& [action, id] : std::map(actions_)) {
        forget(action);
    }
}

OSStatus KGlobalAccelHotKeys::installPressHandler(PressHandler handler) {
    handler_ = std::move(handler);
    return kNoErr;
}

RegisterHotKeyResult KGlobalAccelHotKeys::registerHotKey(std::uint32_t keyCode,
                                                         std::uint32_t carbonModifiers,
                                                         EventHotKeyID id) {
    const std::optional<int> keys = qtKeyCombination(keyCode, carbonModifiers);
    if (!keys) {
        return {kEventHotKeyExistsErr, nullptr};
    }
    const QString action = QStringLiteral("shortcut-%1").arg(++nextAction_);
    callRegistry(bus_, QStringLiteral("doRegister"), {actionId(action)});
    const QDBusReply<QList<int>> assigned = callRegistry(
        bus_, QStringLiteral("setShortcut"),
        {actionId(action), QVariant::fromValue(QList<int>{*keys}), kSetPresent | kNoAutoloading});
    if (!assigned.isValid() || !assigned.value().contains(*keys)) {
        // Another component holds the combination (or the service is not there).
        callRegistry(bus_, QStringLiteral("unregister"), {QString(kComponent), action});
        return {kEventHotKeyExistsErr, nullptr};
    }
    if (!listening_) {
        // The component's object exists once it has an action.
        listening_ = bus_.connect(kService, QStringLiteral("/component/%1").arg(kComponent),
                                  QStringLiteral("org.kde.kglobalaccel.Component"),
                                  QStringLiteral("globalShortcutPressed"), this,
                                  SLOT(pressed(QString, QString, qlonglong)));
    }
    actions_[action] = id;
    return {kNoErr, std::make_shared<Registration>(action)};
}

OSStatus KGlobalAccelHotKeys::unregisterHotKey(const EventHotKeyRef& ref) {
    const auto* registration = dynamic_cast<const Registration*>(ref.get());
    if (!registration || !actions_.count(registration->action)) {
        return kNoErr;
    }
    forget(registration->action);
    return kNoErr;
}

void KGlobalAccelHotKeys::forget(const QString& action) {
    actions_.erase(action);
    callRegistry(bus_, QStringLiteral("unregister"), {QString(kComponent), action});
}

void KGlobalAccelHotKeys::pressed(const QString& component, const QString& action, qlonglong) {
    auto it = actions_.find(action);
    if (component != QLatin1String(kComponent) || it == actions_.end() || !handler_) {
        return;
    }
    handler_(it->second);
}

}  // namespace tallowmere::kwin
