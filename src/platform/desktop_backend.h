// The seam between the program and one desktop: everything the shell and the engine need from a
// window system, as ports. One backend is chosen at start-up; nothing above this header knows
// which (X11 today; a compositor's scripting bridge can be another).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/accessibility.h"
#include "platform/feedback_windows.h"
#include "platform/hot_key_service.h"
#include "platform/keyboard_grab.h"
#include "platform/local_key_monitor.h"
#include "platform/main_loop.h"
#include "platform/running_window.h"
#include "platform/screens.h"
#include "platform/workspace.h"

namespace tallowmere {

class DesktopBackend {
  public:
    virtual ~DesktopBackend() = default;

    virtual MainLoop& loop() = 0;
    // Accessibility deliveries wait while a menu is open.
    virtual void setMenuOpen(bool open) = 0;
    virtual Accessibility& accessibility() = 0;
    virtual Workspace& workspace() = 0;
    virtual Screens& screens() = 0;
    virtual FeedbackWindows& feedbackWindows() = 0;
    virtual HotKeyService& hotKeys() = 0;
    // Key presses to the program's own windows, in the stored (macOS) key codes, for the
    // shortcut recorder.
    virtual LocalKeyMonitor& keyMonitor() = 0;
    // The whole keyboard for one window of ours, named by its native id when asked.
    virtual KeyboardGrab& keyboardGrab(std::function<std::uintptr_t()> window) = 0;
    // Reads all the desktop has already reported, so that a person's command acts on the
    // windows where they stand: the command can come by another way than the desktop's news.
    virtual void catchUp() = 0;
    // Other programs' windows now, for the settings window's pickers.
    virtual std::vector<RunningWindow> runningWindows() const = 0;

    // Called once when the connection to the desktop breaks.
    virtual void onConnectionLost(std::function<void()> handler) = 0;
    // Errors the backend did not expect, in words, for --verbose.
    virtual void onUnexpectedError(std::function<void(const std::string&)> handler) = 0;
    // Position requests sent to the desktop so far.
    virtual std::uint64_t movesSent() const = 0;
};

}  // namespace tallowmere
