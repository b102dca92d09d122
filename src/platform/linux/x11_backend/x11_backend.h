// The X11 desktop behind the backend seam: our xcb connection and its event pump on the Qt loop,
// the window mirror's ports, the screens, the feedback windows, the hot keys, the key monitor and
// the keyboard grab of the shortcut recorder.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop_backend.h"
#include "platform/linux/hotkeys/x11_hot_key_service.h"
#include "platform/linux/hotkeys/x11_keyboard_grab.h"
#include "platform/linux/qt/qt_feedback_windows.h"
#include "platform/linux/qt/qt_local_key_monitor.h"
#include "platform/linux/qt/qt_main_loop.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/linux/x11/x11_desktop.h"
#include "platform/linux/x11/x11_screens.h"
#include "platform/linux/x11_backend/xkb_key_characters.h"

class QSocketNotifier;

namespace tallowmere {

class X11Backend final : public DesktopBackend {
  public:
    // The Qt platform plugin this backend needs, set before the application object exists.
    static constexpr const char* kQtPlatform = "xcb";
    // Null, with the reason, when the X display cannot be opened. Needs a QGuiApplication.
    static std::unique_ptr<X11Backend> open(std::string& whyNot);
    ~X11Backend() override;

    MainLoop& loop() override { return loop_; }
    void setMenuOpen(bool open) override { loop_.setMenuOpen(open); }
    Accessibility& accessibility() override { return *desktop_; }
    Workspace& workspace() override { return *desktop_; }
    Screens& screens() override { return *screens_; }
    FeedbackWindows& feedbackWindows() override { return *feedback_; }
    HotKeyService& hotKeys() override { return *hotKeys_; }
    LocalKeyMonitor& keyMonitor() override { return *keyMonitor_; }
    KeyboardGrab& keyboardGrab(std::function<std::uintptr_t()> window) override;
    void catchUp() override;
    std::vector<RunningWindow> runningWindows() const override;
    void onConnectionLost(std::function<void()> handler) override {
        connectionLost_ = std::move(handler);
    }
    // BadWindow about a window that is no longer a listed client is expected (it vanished
    // between two of our requests); other errors are reported.
    void onUnexpectedError(std::function<void(const std::string&)> handler) override {
        unexpectedError_ = std::move(handler);
    }
    std::uint64_t movesSent() const override { return desktop_->mover().requestsSent(); }

    x11::X11Connection& connection() { return *x_; }
    x11::X11Desktop& desktop() { return *desktop_; }

  private:
    X11Backend() = default;
    void pump(bool readSocket);
    void framesRunning(bool running);
    void xError(const xcb_generic_error_t& error);

    linux_qt::QtMainLoop loop_;
    std::unique_ptr<x11::X11Connection> x_;
    std::unique_ptr<x11::X11Desktop> desktop_;
    std::unique_ptr<x11::X11Screens> screens_;
    std::unique_ptr<linux_qt::QtFeedbackWindows> feedback_;
    std::unique_ptr<X11HotKeyService> hotKeys_;
    x11::XkbKeyCharacters layout_;
    std::unique_ptr<linux_qt::QtLocalKeyMonitor> keyMonitor_;
    std::unique_ptr<X11KeyboardGrab> keyboardGrab_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<std::shared_ptr<void>> listeners_;  // after x_: dropped before it
    std::function<void()> connectionLost_;
    std::function<void(const std::string&)> unexpectedError_;
    bool lost_ = false;
    bool batching_ = false;
};

}  // namespace tallowmere
