// Drives the whole tallowmere program on a private desktop with a tray host: spawns it and XTerm
// windows, reads its standard error line by line, and looks at and stirs the desktop through an
// X connection of its own (the tray's windows, key grabs, synthetic clicks and keys).
#pragma once

#include <sys/types.h>
#include <xcb/xcb.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tallowmere::e2e {

using namespace std::chrono_literals;

// A child process whose standard error is collected into lines as they come.
class Process {
  public:
    Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }
    // Waits for a line containing `text`, seen after the first `skip` matching lines; returns it.
    std::optional<std::string> waitForLine(const std::string& text, std::size_t skip = 0,
                                           std::chrono::milliseconds timeout = 20s);
    std::vector<std::string> linesWith(const std::string& text);
    // The exit status once it has exited within the timeout (-1 for a signal or a timeout).
    int waitForExit(std::chrono::milliseconds timeout = 20s);

  private:
    pid_t pid_ = -1;
    int stderrFd_ = -1;
    bool reaped_ = false;
    int status_ = -1;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    bool eof_ = false;
    std::thread reader_;
};

// Polls `condition` until it holds or `timeout` passes.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s);

// The test's own client of the private display.
class Desktop {
  public:
    Desktop();
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool connected() const { return conn_ != nullptr; }
    // Managed windows whose WM_CLASS class part is `wmClass`.
    std::vector<xcb_window_t> clientsOfClass(const std::string& wmClass);
    // A window below the tray host's window whose WM_CLASS instance is `instance`.
    std::optional<xcb_window_t> embeddedIn(const std::string& hostClass,
                                           const std::string& instance);
    // Clicks the centre of a window with the first button.
    bool click(xcb_window_t window);
    // Whether another client holds the keyboard grab, as an open menu does: keys sent before
    // then would go to whatever has the focus instead.
    bool keyboardHeldByAnother();
    // Grabs Control+Alt+<letter> on the root with every lock variant; false when refused.
    bool grabControlAlt(char letter);
    void ungrabControlAlt(char letter);
    // How many key presses our grabs have brought us so far.
    int keyPressesReceived();

  private:
    std::optional<std::string> wmClass(xcb_window_t window, bool instance);
    std::vector<xcb_window_t> children(xcb_window_t window);
    xcb_connection_t* conn_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    int keyPresses_ = 0;
};

// Runs a program (xdotool) and waits for it; returns its exit status.
int run(const std::vector<std::string>& argv);

}  // namespace tallowmere::e2e
