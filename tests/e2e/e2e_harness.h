// What the end-to-end tests drive and watch: the tallowmere program with its own preferences,
// xterm processes, and the desktop as an independent X client sees it.
#pragma once

#include <sys/types.h>
#include <xcb/xcb.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "private_desktop.h"

namespace tallowmere::e2e {

using x11test::FramePosition;

struct Extents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};
// The frame extents measured for the window manager named by TALLOWMERE_WM.
std::optional<Extents> windowManagerExtents();

// Polls the condition every 10 ms until it holds or the time is up.
bool waitUntil(const std::function<bool()>& condition, double seconds = 10);

// A child process, killed and reaped when dropped.
class Process {
  public:
    Process(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
            const std::optional<std::filesystem::path>& stderrFile = std::nullopt,
            const std::optional<std::filesystem::path>& stdoutFile = std::nullopt);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    void signal(int number);
    // The exit code (or 128 + signal) once the process ended within the time; none otherwise.
    std::optional<int> waitExit(double seconds);

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// The program under test with a private XDG_CONFIG_HOME holding the given preferences, and the
// environment's assignments on top.
class Tallowmere {
  public:
    Tallowmere(const std::string& preferencesJson, const std::string& display,
               const std::vector<std::string>& environment = {});
    ~Tallowmere();

    Process& process() { return *process_; }
    std::string errorOutput() const;
    std::size_t countLines(const std::string& fragment) const;
    std::vector<std::string> linesWith(const std::string& fragment) const;
    const std::filesystem::path& preferencesFile() const { return preferences_; }
    std::string preferencesBytes() const;

  private:
    std::filesystem::path home_;
    std::filesystem::path preferences_;
    std::filesystem::path stderr_;
    std::unique_ptr<Process> process_;
};

// A window's place and size in root coordinates.
struct Box {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

// A start of the program that is expected to end by itself: its exit status (none when it ran on
// for 20 s) and what it printed.
struct Finished {
    std::optional<int> status;
    std::string out;
    std::string err;
};
Finished runTallowmere(const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment = {});

// The desktop through a connection of the test's own.
class Desktop {
  public:
    explicit Desktop(const std::string& display) : display_(display), probe_(display) {}
    x11test::Probe& probe() { return probe_; }
    const std::string& display() const { return display_; }

    // The listed client window of `pid` once the window manager shows it (WM_STATE Normal).
    std::optional<xcb_window_t> waitForWindowOf(pid_t pid);
    std::optional<FramePosition> frame(xcb_window_t client) { return probe_.framePosition(client); }
    std::pair<int, int> clientSize(xcb_window_t client);
    bool listed(xcb_window_t client);
    // The window manager's check window (_NET_SUPPORTING_WM_CHECK); a new one after a replacement.
    xcb_window_t windowManagerCheck() {
        return cardinal(probe_.root(), "_NET_SUPPORTING_WM_CHECK").value_or(0);
    }
    bool normalState(xcb_window_t client);
    // The shown override-redirect windows of `pid` (flash rings, banners), as the server has them.
    std::vector<Box> unmanagedWindowsOf(pid_t pid);
    // A dialog of class XTerm, transient for `parent`, owned by the test process.
    xcb_window_t openDialog(xcb_window_t parent, int x, int y);
    // A 240x120 window owned by the test process whose WM_CLASS holds exactly these bytes.
    xcb_window_t openWindow(const std::string& wmClassBytes, int x, int y,
                            std::optional<xcb_window_t> transientFor = std::nullopt);
    void closeWindow(xcb_window_t window);

  private:
    std::optional<std::uint32_t> cardinal(xcb_window_t window, const char* property);
    std::string display_;
    x11test::Probe probe_;
};

// One xterm process with one window.
struct Xterm {
    std::unique_ptr<Process> process;
    xcb_window_t window = XCB_WINDOW_NONE;
};
Xterm openXterm(Desktop& desktop, int x, int y, const std::string& wmClass = "XTerm");

}  // namespace tallowmere::e2e
