// The program under test with preferences of its own, and xterm windows for it to line up.
#pragma once

#include <xcb/xcb.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "probe.h"

namespace tallowmere::kit {

// Preferences that follow `wmClass` and line up its windows in rows 20 apart about their centre,
// each new window on the right.
std::string rowPreferences(const std::string& wmClass, const std::string& easing,
                           double duration = 0.25, bool flash = false);

// tallowmere --verbose with a private XDG_CONFIG_HOME holding the given preferences, and the
// environment's assignments on top.
class Tallowmere : public ChildProcess {
  public:
    Tallowmere(const std::string& preferencesJson, const std::string& display,
               const std::vector<std::string>& environment = {});
    ~Tallowmere();

    std::string preferencesBytes() const;
    // Waits until it follows the windows it found at start.
    bool waitStarted() { return waitForLine("監視開始").has_value(); }
    // Ends it as a session would: it exits with 0, with no X error and no sanitizer report.
    void expectCleanQuit();

  private:
    Tallowmere(std::filesystem::path home, const std::string& display,
               const std::vector<std::string>& environment);
    std::filesystem::path home_;
};

// A start of the program that ends by itself: its exit status (none after 20 s) and its output.
struct Finished {
    std::optional<int> status;
    std::string out;
    std::string err;
};
Finished runTallowmere(const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment = {});

struct Xterm {
    std::unique_ptr<ChildProcess> process;
    xcb_window_t window = XCB_WINDOW_NONE;
};
Xterm openXterm(Probe& desktop, int x, int y, const std::string& wmClass = "XTerm");

}  // namespace tallowmere::kit
