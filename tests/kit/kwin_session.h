// The private KDE Plasma session of scripts/with-desktop --kwin, seen from a test: the refusal of
// any other session, windows of a small Qt client, and a probe that asks KWin itself (through
// throw-away scripts of its own) where the windows are.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "child_process.h"

namespace tallowmere::kit {

// The entry of a test binary run by scripts/with-desktop --kwin: refuses any Wayland socket it
// did not get from there.
int runOnPrivateKWin(int argc, char** argv);

// The client `client` (wayland_window) with its one window, there once the constructor returns:
// app id (KWin's resource class) `appId`, title `title`; with `mode` "dialog" also a dialog
// titled `title`-dialog, with "x11" an X11 client of KWin's XWayland (its class in lower case).
class WaylandWindow : public ChildProcess {
  public:
    WaylandWindow(const std::string& client, const std::string& appId, const std::string& title,
                  const std::string& mode = "");
};

struct KWinFrame {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool active = false;
};

class KWinProbe {
  public:
    ~KWinProbe();
    // Every managed window's frame by its title, as KWin has it now.
    std::map<std::string, KWinFrame> frames();
    // Runs a statement on the window titled `title`, known to it as `w`, as the user would act;
    // activate(w) gives it the focus.
    void act(const std::string& title, const std::string& statement);
    // Loads a script body that stays loaded as long as the probe (to follow signals); `list`
    // holds the windows and report(text) prints a line. Returns its name for reported().
    std::string watch(const std::string& body);
    // The lines a script printed so far.
    std::vector<std::string> reported(const std::string& name);

  private:
    // Runs a script body in KWin to its end; the lines it printed.
    std::vector<std::string> evaluate(const std::string& body);
    std::vector<std::string> watchers_;
};

}  // namespace tallowmere::kit
