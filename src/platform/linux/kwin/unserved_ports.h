// The ports this desktop does not serve yet, kept harmless so that the program starts and arranges
// windows meanwhile. NOT DONE on KWin: the shortcut recorder's key monitor and keyboard grab.
#pragma once

#include "platform/keyboard_grab.h"
#include "platform/local_key_monitor.h"

namespace tallowmere::kwin {

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
