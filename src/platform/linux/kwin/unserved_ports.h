// The ports this desktop does not serve yet, kept harmless so that the program starts and arranges
// windows meanwhile. NOT DONE on KWin: feedback windows (a Wayland client cannot place its own
// windows; the script must), global shortcuts (KDE's global-shortcut service), the recorder's key
// monitor and keyboard grab.
#pragma once

#include "platform/feedback_windows.h"
#include "platform/hot_key_service.h"
#include "platform/keyboard_grab.h"
#include "platform/local_key_monitor.h"
#include "platform/main_loop.h"

namespace tallowmere::kwin {

// Shows nothing; fades complete on time, so that the engine's sequencing is unchanged.
class UnplacedFeedbackWindows final : public FeedbackWindows {
  public:
    explicit UnplacedFeedbackWindows(MainLoop& loop) : loop_(loop) {}
    std::shared_ptr<FeedbackWindow> showOverlay(const Rect& frame,
                                                const BorderStroke& border) override;
    std::shared_ptr<FeedbackWindow> showBanner(const Rect& frame, const BannerContent& content,
                                               double initialAlpha) override;
    Size measureBannerText(std::string_view text) override;

  private:
    MainLoop& loop_;
};

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
