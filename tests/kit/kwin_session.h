// The private KWin session of scripts/with-desktop --kwin seen from a test: windows of a small Qt
// client, and a probe that asks KWin itself (through throw-away scripts) where the windows are.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "child_process.h"

namespace tallowmere::kit {

// Runs the tests only on a Wayland socket from scripts/with-desktop --kwin.
int runOnPrivateKWin(int argc, char** argv);

// wayland_window with its window shown: `mode` "dialog" adds one titled `title`-dialog, "x11"
// makes it an XWayland client (KWin then has its class in lower case).
class WaylandWindow : public ChildProcess {
  public:
    WaylandWindow(const std::string& client, const std::string& appId, const std::string& title,
                  const std::string& mode = "");
};

struct KWinFrame {
    int x = 0, y = 0, width = 0, height = 0;
    bool active = false;
};

// Scripts see the windows as `list`, print with report(text), and give focus with activate(w).
class KWinProbe {
  public:
    ~KWinProbe();
    // Every managed window's frame by its title.
    std::map<std::string, KWinFrame> frames();
    // Runs `statement` on the window titled `title`, known to it as `w`.
    void act(const std::string& title, const std::string& statement);
    // A script loaded for the probe's lifetime, to follow signals; its name for reported().
    std::string watch(const std::string& body);
    std::vector<std::string> reported(const std::string& name);

  private:
    // Runs a script to its end; the lines it reported.
    std::vector<std::string> evaluate(const std::string& body);
    std::vector<std::string> watchers_;
};

}  // namespace tallowmere::kit
