// The benchmark's application: plain X windows of one WM_CLASS, all opened by this process on a
// connection of their own, so that opening one costs a request rather than a program start.
#pragma once

#include <xcb/xcb.h>

#include <cstddef>
#include <string>
#include <vector>

namespace tallowmere::bench {

class BenchWindows {
  public:
    explicit BenchWindows(std::string windowClass);
    ~BenchWindows();
    BenchWindows(const BenchWindows&) = delete;
    BenchWindows& operator=(const BenchWindows&) = delete;

    bool ok() const;
    // Maps the index-th window at a fixed requested place, so that every run starts alike.
    xcb_window_t open(int index);
    // Puts the frame of the index-th window (from 0) at `x`, `y`, as a pager would.
    void moveFrame(size_t index, int x, int y);
    void closeAll();
    const std::vector<xcb_window_t>& windows() const { return windows_; }

  private:
    void discardEvents();

    std::string class_;
    xcb_connection_t* c_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    xcb_atom_t netWmPid_ = XCB_ATOM_NONE;
    xcb_atom_t netMoveResize_ = XCB_ATOM_NONE;
    std::vector<xcb_window_t> windows_;
};

}  // namespace tallowmere::bench
