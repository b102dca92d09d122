// The desktop as an independent client sees and stirs it, through an xcb connection of the test's
// own: the client list, frames and their extents, pager messages, windows of the test's own or of
// a process of its own.
#pragma once

#include <sys/types.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/x11/xcb_ptr.h"

namespace tallowmere::kit {

using x11::own;

struct FramePosition {
    int x = 0;
    int y = 0;
    friend bool operator==(const FramePosition&, const FramePosition&) = default;
};

struct Box {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

class Probe {
  public:
    explicit Probe(const std::string& display);
    ~Probe();
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    xcb_connection_t* conn() const { return conn_; }
    xcb_window_t root() const { return root_; }
    const std::string& display() const { return display_; }
    xcb_atom_t atom(const char* name);
    // A round trip: every request sent before has been handled.
    void sync() const;

    // The top-left of the root's child that holds the client (its frame, or itself).
    std::optional<FramePosition> frame(xcb_window_t client);
    // The client's size with the window manager's _NET_FRAME_EXTENTS around it.
    std::optional<std::pair<int, int>> frameSize(xcb_window_t client);
    // Waits until every client's frame stands at its place; empty then, else where each stands.
    std::string waitForFrames(const std::vector<std::pair<xcb_window_t, FramePosition>>& expected,
                              double seconds = 10);
    std::optional<Box> geometry(xcb_window_t window);
    FramePosition clientOrigin(xcb_window_t client);

    // Root client messages as a pager sends them (source indication 2).
    void moveFrame(xcb_window_t client, int x, int y);
    void iconify(xcb_window_t client);
    void activate(xcb_window_t client);
    void sendToDesktop(xcb_window_t client, std::uint32_t desktop);

    std::vector<xcb_window_t> clientList();
    bool listed(xcb_window_t client);
    bool normalState(xcb_window_t client);
    // The listed client window of `pid` once the window manager shows it.
    std::optional<xcb_window_t> waitForWindowOf(pid_t pid);
    std::vector<xcb_window_t> clientsOfClass(const std::string& wmClass);
    // WM_CLASS: the instance part, or the class part.
    std::optional<std::string> wmClass(xcb_window_t window, bool instance = false);
    std::vector<xcb_window_t> children(xcb_window_t window);
    // The shown override-redirect windows of `pid` (flash rings, banners).
    std::vector<Box> unmanagedWindowsOf(pid_t pid);

    void setCardinals(xcb_window_t window, const char* property,
                      const std::vector<std::uint32_t>& values,
                      xcb_atom_t type = XCB_ATOM_CARDINAL);
    std::vector<std::uint32_t> cardinals(xcb_window_t window, const char* property);
    std::optional<std::uint32_t> cardinal(xcb_window_t window, const char* property);

    // A mapped top-level window of this process whose WM_CLASS holds exactly these bytes, asking
    // to be placed at (x, y); a dialog when transient for another; under `id` when given.
    xcb_window_t openWindow(const std::string& wmClassBytes, int x, int y, int width = 240,
                            int height = 120,
                            std::optional<xcb_window_t> transientFor = std::nullopt,
                            xcb_window_t id = 0);
    // A dock along the left or right edge, as high as the root, that reserves `width` pixels.
    xcb_window_t openDock(bool right, int width);
    void closeWindow(xcb_window_t window);

  private:
    xcb_window_t createWindow(const std::string& wmClassBytes, int x, int y, int width, int height,
                              xcb_window_t id);
    void rootMessage(xcb_window_t window, const char* type, std::uint32_t d0, std::uint32_t d1 = 0,
                     std::uint32_t d2 = 0);
    std::string display_;
    xcb_connection_t* conn_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
};

// A separate process (so that its windows are not the test's) that creates and destroys windows on
// request.
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
    void destroy(xcb_window_t window);

  private:
    struct Request;
    xcb_window_t call(const Request& request);
    pid_t pid_ = -1;
    int socket_ = -1;
};

}  // namespace tallowmere::kit
