// The Linux desktop behind the ports: our xcb connection and its event pump on the Qt loop, the
// window mirror's ports, the screens, the feedback windows and the main loop.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/linux/hotkeys/x11_hot_key_service.h"
#include "platform/linux/qt/qt_feedback_windows.h"
#include "platform/linux/qt/qt_main_loop.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/linux/x11/x11_desktop.h"
#include "platform/linux/x11/x11_screens.h"

class QSocketNotifier;

namespace tallowmere {

class LinuxBackend {
  public:
    // Null, with the reason, when the X display cannot be opened. Needs a QGuiApplication.
    static std::unique_ptr<LinuxBackend> open(std::string& whyNot);
    ~LinuxBackend();

    // Called once when the X connection breaks.
    void onConnectionLost(std::function<void()> handler) { connectionLost_ = std::move(handler); }
    // Called for X errors other than the expected ones: BadWindow about a window that is no
    // longer a listed client (it vanished between two of our requests).
    void onUnexpectedXError(std::function<void(const xcb_generic_error_t&)> handler) {
        unexpectedXError_ = std::move(handler);
    }

    linux_qt::QtMainLoop& loop() { return loop_; }
    x11::X11Connection& connection() { return *x_; }
    x11::X11Desktop& desktop() { return *desktop_; }
    x11::X11Screens& screens() { return *screens_; }
    FeedbackWindows& feedbackWindows() { return *feedback_; }
    X11HotKeyService& hotKeys() { return *hotKeys_; }

    // X errors seen on our connection (requests about windows that vanished, mostly).
    std::uint64_t xErrorCount() const { return x_->errorCount(); }

  private:
    LinuxBackend() = default;
    void pump(bool readSocket);
    void framesRunning(bool running);
    void xError(const xcb_generic_error_t& error);

    linux_qt::QtMainLoop loop_;
    std::unique_ptr<x11::X11Connection> x_;
    std::unique_ptr<x11::X11Desktop> desktop_;
    std::unique_ptr<x11::X11Screens> screens_;
    std::unique_ptr<linux_qt::QtFeedbackWindows> feedback_;
    std::unique_ptr<X11HotKeyService> hotKeys_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void()> connectionLost_;
    std::function<void(const xcb_generic_error_t&)> unexpectedXError_;
    bool lost_ = false;
    bool batching_ = false;
};

}  // namespace tallowmere
