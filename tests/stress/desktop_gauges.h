// What the desktop stress tests measure from outside the program: its resident memory, the X
// resources the server holds for it, and the depth of the window manager's queue of moves.
#pragma once

#include <sys/types.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "probe.h"

namespace tallowmere::stress {

// A count from the environment (scripts/soak sets the full ones), or the brief default.
int countFromEnvironment(const char* name, int brief);

// VmRSS of the process in kB.
std::optional<long> residentKb(pid_t pid);

// X resources per type (atom name) summed over every X client of the process, as the X-Resource
// extension counts them; empty when the server does not know the process.
using ResourceCounts = std::map<std::string, std::uint32_t>;
ResourceCounts xResources(kit::Probe& probe, pid_t pid);
std::string describe(const ResourceCounts& counts);
// How many top-level windows of the process are shown now (flash overlays, banners).
std::size_t shownTopLevels(kit::Probe& probe, pid_t pid);

// Measures whether the window manager is flooded: moves one managed window of its own and counts
// the frame moves of other windows that the window manager applies before it. With at most one
// move in flight per window, that depth stays below the number of windows.
class MoveQueueGauge {
  public:
    explicit MoveQueueGauge(const std::string& display);
    ~MoveQueueGauge();
    MoveQueueGauge(const MoveQueueGauge&) = delete;
    MoveQueueGauge& operator=(const MoveQueueGauge&) = delete;

    bool ready() const { return frame_ != XCB_WINDOW_NONE; }
    // Notes where every top-level window stands, so that only changes of place count as moves
    // (a restacking or a new frame's sizing also sends ConfigureNotify).
    void notePlaces();
    // One sample: the queue depth ahead of our move, or none when our move never landed.
    std::optional<std::size_t> sample();
    std::size_t deepest() const { return deepest_; }
    // Frame moves of other windows seen so far.
    std::size_t otherFrameMoves() const { return otherMoves_; }

  private:
    kit::Probe probe_;
    xcb_connection_t* events_ = nullptr;
    xcb_window_t client_ = XCB_WINDOW_NONE;
    xcb_window_t frame_ = XCB_WINDOW_NONE;
    std::map<xcb_window_t, std::pair<int, int>> places_;
    int flip_ = 0;
    std::size_t deepest_ = 0;
    std::size_t otherMoves_ = 0;
};

}  // namespace tallowmere::stress
