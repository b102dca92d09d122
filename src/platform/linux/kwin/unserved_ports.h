// The ports this desktop does not serve yet, kept harmless so that the program starts and arranges
// windows meanwhile. NOT DONE on KWin: global shortcuts (KDE's global-shortcut service), the
// recorder's key monitor and keyboard grab.
#pragma once

#include "platform/hot_key_service.h"
#include "platform/keyboard_grab.h"
#include "platform/local_key_monitor.h"

namespace tallowmere::kwin {

// Refuses every registration, so that the shell says the shortcut could not be registered.
class UnavailableHotKeys final : public HotKeyService {
  public:
    OSStatus installPressHandler(PressHandler) override { return kNoErr; }
    RegisterHotKeyResult registerHotKey(std::uint32_t, std::uint32_t, EventHotKeyID) override;
    OSStatus unregisterHotKey(const EventHotKeyRef&) override { return kNoErr; }
};

class NoKeyMonitor final : public LocalKeyMonitor {
  public:
    Token addMonitor(Handler) override { return ++last_; }
    void removeMonitor(Token) override {}

  private:
    Token last_ = 0;
};

class NoKeyboardGrab final : public KeyboardGrab {
  public:
    std::unique_ptr<Hold> grabKeyboard() override { return nullptr; }
};

}  // namespace tallowmere::kwin
