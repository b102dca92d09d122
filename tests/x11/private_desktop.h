// A private X desktop for backend tests (an Xvfb on a display it picks itself, with openbox), a
// child process that owns test windows, and a tiny main loop that runs work only when asked.
#pragma once

#include <sys/types.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/main_loop.h"

namespace tallowmere::x11test {

// openbox names its check window before it handles map requests, and drops the ones that come
// in between (a window mapped then stays unmapped): maps a throwaway window until it is managed.
bool windowManagerManages(const std::string& display);

// execvp of `argv` in a freshly forked child; exits 127 when that fails.
[[noreturn]] void execArgv(const std::vector<std::string>& argv);

// The entry of a test binary that runs on a desktop from scripts/with-desktop: refuses any other
// display, waits until the window manager manages windows, then runs the tests.
int runOnPrivateDesktop(int argc, char** argv);

// Xvfb + openbox, stopped by pid (window manager first) when destroyed.
class PrivateDesktop {
  public:
    PrivateDesktop();
    ~PrivateDesktop();
    PrivateDesktop(const PrivateDesktop&) = delete;
    PrivateDesktop& operator=(const PrivateDesktop&) = delete;

    // ":N" once the server answers and the window manager has announced itself.
    const std::optional<std::string>& display() const { return display_; }
    // Runs a program with DISPLAY set to ours and waits for it; returns its exit status.
    int run(const std::vector<std::string>& argv) const;
    // Kills the X server at once, as a crash would.
    void killServer() const;
    // Ends the window manager (with SIGKILL when `crash`, leaving its root properties behind) and
    // starts a new one; true once that one manages windows.
    bool restartWindowManager(bool crash);

  private:
    bool startWindowManager(const std::string& display);
    pid_t server_ = -1;
    pid_t windowManager_ = -1;
    std::optional<std::string> display_;
};

// A separate process (so that its windows are not ours) that creates and destroys windows on
// request, over a pipe.
class WindowOwner {
  public:
    explicit WindowOwner(const std::string& display);
    ~WindowOwner();
    WindowOwner(const WindowOwner&) = delete;
    WindowOwner& operator=(const WindowOwner&) = delete;

    pid_t pid() const { return pid_; }
    // A mapped top-level window with WM_CLASS `wmClass`, asking to be placed at (x, y); `reuseId`
    // creates it under an id the owner used before. Returns its id, or 0.
    xcb_window_t create(const std::string& wmClass, int x, int y, int width, int height,
                        xcb_window_t reuseId = 0);
    // A dock on the left edge that reserves `width` pixels.
    xcb_window_t createLeftPanel(int width, int height);
    void destroy(xcb_window_t window);

  private:
    std::string call(const std::string& line);
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
};

// Real-time clock; delayed work and posted work run only when the test says so.
class ManualLoop final : public MainLoop {
  public:
    double now() override;
    void dispatchAfter(double seconds, std::function<void()> work) override;
    std::shared_ptr<Timer> scheduleRepeatingTimer(double, RunLoopMode,
                                                  std::function<void(Timer&)>) override;
    void post(std::function<void()> work) { posted_.push_back(std::move(work)); }
    // Runs posted work, then delayed work that is due.
    void runReady();

  private:
    std::deque<std::function<void()>> posted_;
    std::multimap<double, std::function<void()>> delayed_;
};

// What an independent client sees of a window: its frame's top-left in root coordinates.
struct FramePosition {
    int x = 0;
    int y = 0;
    friend bool operator==(const FramePosition&, const FramePosition&) = default;
};

// A plain xcb connection of the test's own, to check and to stir the desktop independently.
class Probe {
  public:
    explicit Probe(const std::string& display);
    ~Probe();
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    xcb_connection_t* conn() const { return conn_; }
    xcb_window_t root() const { return root_; }
    xcb_atom_t atom(const char* name);
    std::optional<FramePosition> framePosition(xcb_window_t client);
    // Root client messages as a pager sends them (source indication 2).
    void moveFrame(xcb_window_t client, int x, int y);
    void iconify(xcb_window_t client);
    void activate(xcb_window_t client);
    void sendToDesktop(xcb_window_t client, std::uint32_t desktop);
    std::vector<xcb_window_t> clientList();
    void setClientList(const std::vector<xcb_window_t>& windows);
    // Writes or reads a CARDINAL property as any client may (_NET_WORKAREA, _NET_FRAME_EXTENTS).
    void setCardinals(xcb_window_t window, const char* property,
                      const std::vector<std::uint32_t>& values);
    std::vector<std::uint32_t> cardinals(xcb_window_t window, const char* property);

  private:
    void rootMessage(xcb_window_t window, const char* type, std::uint32_t d0, std::uint32_t d1 = 0,
                     std::uint32_t d2 = 0, std::uint32_t d3 = 0, std::uint32_t d4 = 0);
    xcb_connection_t* conn_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
};

}  // namespace tallowmere::x11test
