// The benchmark's eyes: its own xcb connection that timestamps every change of the client list and
// every frame move on the root, and the pump that also drains the contenders' output.
#pragma once

#include <xcb/xcb.h>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tallowmere::bench {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// One observed frame position, with the time it reached us.
struct FrameMove {
    xcb_window_t frame = XCB_NONE;
    Point at;
    double time = 0;
};

// A change of the client list: when it reached us, and how many frame moves had been seen then.
struct ListChange {
    double time = 0;
    size_t logIndex = 0;
};

// Collects a child process's output lines from a pipe.
class LineReader {
  public:
    explicit LineReader(int fd) : fd_(fd) {}
    int fd() const { return fd_; }
    // A reader whose writer has gone is no longer polled.
    bool closed() const { return closed_; }
    void drain();
    bool saw(const std::string& part) const;
    const std::vector<std::string>& lines() const { return lines_; }

  private:
    int fd_;
    bool closed_ = false;
    std::string partial_;
    std::vector<std::string> lines_;
};

class FrameWatch {
  public:
    FrameWatch();
    ~FrameWatch();
    FrameWatch(const FrameWatch&) = delete;
    FrameWatch& operator=(const FrameWatch&) = delete;

    bool ok() const;
    void addReader(LineReader* reader) { readers_.push_back(reader); }
    void removeReader(LineReader* reader);

    // Waits at most `seconds` for anything, then drains whatever has arrived.
    void pump(double seconds);

    // Waits until `client` is in the client list; returns the list change that brought it, or
    // nothing after `timeout` seconds.
    std::optional<ListChange> waitListed(xcb_window_t client, double timeout);
    // Waits until none of `clients` is listed.
    bool waitUnlisted(const std::vector<xcb_window_t>& clients, double timeout);
    xcb_window_t frameOf(xcb_window_t client);

    // Every frame position seen since the start; `positions` is the latest of each.
    const std::vector<FrameMove>& log() const { return log_; }
    const std::map<xcb_window_t, Point>& positions() const { return positions_; }

  private:
    void handle(xcb_generic_event_t* event, double time);

    xcb_connection_t* c_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    xcb_atom_t netClientList_ = XCB_ATOM_NONE;
    std::vector<ListChange> listChanges_;
    std::vector<FrameMove> log_;
    std::map<xcb_window_t, Point> positions_;
    std::vector<LineReader*> readers_;
};

}  // namespace tallowmere::bench
