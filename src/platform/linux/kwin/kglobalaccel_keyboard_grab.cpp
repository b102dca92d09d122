// Holding KDE's global shortcuts back while the recorder listens.
#include "platform/linux/kwin/kglobalaccel_keyboard_grab.h"

#include <QDBusMessage>

namespace tallowmere::kwin {

class KGlobalAccelKeyboardGrab::BlockHold final : public Hold {
  public:
    explicit BlockHold(KGlobalAccelKeyboardGrab& grab) : grab_(grab) {}
    ~BlockHold() override {
        if (--grab_.holds_ == 0) {
            grab_.block(false);
        }
    }

  private:
    KGlobalAccelKeyboardGrab& grab_;
};

KGlobalAccelKeyboardGrab::KGlobalAccelKeyboardGrab(QDBusConnection bus) : bus_(std::move(bus)) {}

KGlobalAccelKeyboardGrab::~KGlobalAccelKeyboardGrab() {
    // The service would otherwise keep every shortcut of the session held back after we are gone.
    if (holds_ > 0) {
        block(false);
    }
}

std::unique_ptr<KeyboardGrab::Hold> KGlobalAccelKeyboardGrab::grabKeyboard() {
    if (holds_ == 0 && !block(true)) {
        return nullptr;
    }
    ++holds_;
    return std::make_unique<BlockHold>(*this);
}

// A plain method call: an interface object would introspect the service first, and Qt keeps what
// it learnt until exit.
bool KGlobalAccelKeyboardGrab::block(bool on) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/kglobalaccel"),
        QStringLiteral("org.kde.KGlobalAccel"), QStringLiteral("blockGlobalShortcuts"));
    call.setArguments({on});
    return bus_.call(call).type() == QDBusMessage::ReplyMessage;
}

}  // namespace tallowmere::kwin
