// KDE Plasma on Wayland behind the backend seam: the Qt loop, the session-bus bridge to the
// compositor's script, and the ports over what the script reports.
#pragma once

#include <QDBusConnection>
#include <memory>
#include <string>

#include "platform/desktop_backend.h"
#include "platform/linux/kwin/kglobalaccel_hot_keys.h"
#include "platform/linux/kwin/kglobalaccel_keyboard_grab.h"
#include "platform/linux/kwin/kwin_desktop.h"
#include "platform/linux/kwin/script_bridge.h"
#include "platform/linux/qt/qt_feedback_windows.h"
#include "platform/linux/qt/qt_local_key_monitor.h"
#include "platform/linux/qt/qt_main_loop.h"

namespace tallowmere {

class KWinBackend final : public DesktopBackend {
  public:
    static constexpr const char* kQtPlatform = "wayland";
    // Whether this session is a Wayland one and KWin is on its session bus. Works before Qt.
    static bool kwinSession();
    // Null, with the reason, when the bridge cannot be set up. Needs a QGuiApplication.
    static std::unique_ptr<KWinBackend> open(std::string& whyNot);
    ~KWinBackend() override;

    MainLoop& loop() override { return loop_; }
    void setMenuOpen(bool open) override { loop_.setMenuOpen(open); }
    Accessibility& accessibility() override { return desktop_; }
    Workspace& workspace() override { return desktop_; }
    Screens& screens() override { return desktop_; }
    FeedbackWindows& feedbackWindows() override { return *feedback_; }
    HotKeyService& hotKeys() override { return *hotKeys_; }
    LocalKeyMonitor& keyMonitor() override { return *keyMonitor_; }
    KeyboardGrab& keyboardGrab(std::function<std::uintptr_t()>) override { return *keyboardGrab_; }
    // The script's reports are applied as they arrive: nothing waits to be read.
    void catchUp() override {}
    std::vector<RunningWindow> runningWindows() const override { return desktop_.runningWindows(); }
    void onConnectionLost(std::function<void()> handler) override;
    void onUnexpectedError(std::function<void(const std::string&)>) override {}
    std::uint64_t movesSent() const override;

    kwin::KWinDesktop& desktop() { return desktop_; }

  private:
    KWinBackend();

    linux_qt::QtMainLoop loop_;
    kwin::KWinDesktop desktop_;
    std::unique_ptr<linux_qt::QtFeedbackWindows> feedback_;
    std::unique_ptr<kwin::KGlobalAccelHotKeys> hotKeys_;
    std::unique_ptr<linux_qt::QtLocalKeyMonitor> keyMonitor_;
    std::unique_ptr<kwin::KGlobalAccelKeyboardGrab> keyboardGrab_;
    std::unique_ptr<kwin::ScriptBridge> bridge_;
    std::uint64_t feedbackWindows_ = 0;
};

}  // namespace tallowmere
