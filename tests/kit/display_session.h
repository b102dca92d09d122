// A private 1920x1080 X desktop: an Xvfb on a display number it picks itself (-displayfd) and a
// window manager (openbox, xfwm4, or "" for none), both stopped by pid (the window manager first)
// when dropped.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace tallowmere::kit {

class DisplaySession {
  public:
    explicit DisplaySession(std::string windowManager = "openbox");
    ~DisplaySession();
    DisplaySession(const DisplaySession&) = delete;
    DisplaySession& operator=(const DisplaySession&) = delete;

    // ":N" once the server answers and the window manager manages windows.
    const std::optional<std::string>& display() const { return display_; }
    void killServer();  // at once, as a crash would
    // Hands the desktop to a new window manager: openbox taking over from the running one, or, when
    // `crash`, one of the same kind started after the old was killed outright (leaving its root
    // properties behind); true once the old one is gone and the new one manages windows.
    bool restartWindowManager(bool crash);

  private:
    bool startWindowManager();
    std::string windowManager_;
    std::unique_ptr<ChildProcess> server_;
    std::unique_ptr<ChildProcess> wmProcess_;
    std::optional<std::string> display_;
};

// The window manager named by _NET_SUPPORTING_WM_CHECK is up, and maps windows: openbox names its
// check window before it handles map requests and drops the ones in between.
bool windowManagerManages(const std::string& display);

// The entry of a test binary run by scripts/with-desktop: refuses any display it did not get from
// there, waits until the window manager manages windows, then runs the tests.
int runOnPrivateDesktop(int argc, char** argv);

}  // namespace tallowmere::kit
