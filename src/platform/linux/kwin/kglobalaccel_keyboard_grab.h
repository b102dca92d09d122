// The recorder's keyboard grab on KDE Plasma. Wayland lets no client take the keyboard; what would
// keep a pressed combination from reaching us is another component's global shortcut, and KDE's
// global-shortcut service can hold all of them back (blockGlobalShortcuts, the call KDE's own
// shortcut editors make while they record), so that the recorder sees the very combination.
#pragma once

#include <QDBusConnection>
#include <memory>

#include "platform/keyboard_grab.h"

namespace tallowmere::kwin {

class KGlobalAccelKeyboardGrab final : public KeyboardGrab {
  public:
    explicit KGlobalAccelKeyboardGrab(QDBusConnection bus);
    ~KGlobalAccelKeyboardGrab() override;

    // None when the service does not answer.
    std::unique_ptr<Hold> grabKeyboard() override;

  private:
    class BlockHold;
    bool block(bool on);

    QDBusConnection bus_;
    int holds_ = 0;
};

}  // namespace tallowmere::kwin
