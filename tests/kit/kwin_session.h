// The private KDE Plasma session of scripts/with-desktop --kwin, seen from a test: the refusal of
// any other session, windows of a small Qt Wayland client, and a probe that asks KWin itself
// (through a throw-away script of its own) where the windows are.
#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace tallowmere::kit {

// The entry of a test binary run by scripts/with-desktop --kwin: refuses any Wayland socket it
// did not get from there.
int runOnPrivateKWin(int argc, char** argv);

// One process with one plain window whose app id (KWin's resource class) is `appId` and whose
// title is `title`; with `dialog`, also a dialog of it titled `title` + "-dialog". With `x11`, an
// X11 client of KWin's XWayland (KWin names its class in lower case).
struct WindowOptions {
    bool dialog = false;
    bool x11 = false;
};

class WaylandWindow {
  public:
    WaylandWindow(const std::string& client, const std::string& appId, const std::string& title,
                  int width, int height, WindowOptions options = {});
    pid_t pid() const { return process_->pid(); }
    const std::string& title() const { return title_; }
    void close() { process_->signal(15); }

  private:
    std::string title_;
    std::unique_ptr<ChildProcess> process_;
};

struct KWinFrame {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool minimized = false;
    bool active = false;
    friend bool operator==(const KWinFrame&, const KWinFrame&) = default;
};

class KWinProbe {
  public:
    KWinProbe() = default;
    ~KWinProbe();
    KWinProbe(const KWinProbe&) = delete;
    KWinProbe& operator=(const KWinProbe&) = delete;

    // Every managed window's frame by its title, as KWin has it now.
    std::map<std::string, KWinFrame> frames();
    std::optional<KWinFrame> frameOf(const std::string& title);
    // Minimises or restores the window, as the user would.
    void setMinimized(const std::string& title, bool minimized);
    // Gives the window the focus, as the user would by clicking it.
    void activate(const std::string& title);
    // Moves the window's frame, as the user would by dragging it.
    void moveTo(const std::string& title, int x, int y);

    // Loads a script body that stays loaded as long as the probe (to follow signals); `list`
    // holds the windows and report(text) prints a line. Returns its name for reported().
    std::string watch(const std::string& body);
    // The lines a script printed so far.
    std::vector<std::string> reported(const std::string& name);

  private:
    // Runs a script body in KWin to its end; the lines it printed.
    std::vector<std::string> evaluate(const std::string& body);
    std::string load(const std::string& body);
    void unload(const std::string& name);
    static std::string pathOf(const std::string& name);
    std::vector<std::string> watchers_;
};

}  // namespace tallowmere::kit
