// Position writes with back-pressure: a window manager flooded with moves stays busy for minutes,
// so each window has at most one move in flight and later targets replace the waiting one.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "platform/linux/x11/window_mirror.h"
#include "platform/linux/x11/x11_connection.h"

namespace tallowmere::x11 {

class WindowMover {
  public:
    using Clock = std::function<double()>;
    using After = std::function<void(double seconds, std::function<void()> work)>;
    // How long a move may stay unconfirmed before the next one goes anyway (a window manager
    // that ignores a move sends no ConfigureNotify). Long, because a window manager busy with a
    // burst of new windows confirms late, and a shorter wait then queues move after move; an
    // ignored move is usually released sooner, by a later move of another window landing.
    static constexpr double kConfirmTimeout = 1.0;

    WindowMover(X11Connection& x, Clock now, After after)
        : x_(x), now_(std::move(now)), after_(std::move(after)) {}

    // Moves the frame's top-left to (x, y) in root coordinates; does not flush.
    void move(const MirroredWindow& window, int x, int y);
    // A ConfigureNotify of the window's frame: the move in flight has landed.
    void frameMoved(const MirroredWindow& window);
    void forget(xcb_window_t client) { states_.erase(client); }

    std::uint64_t requestsSent() const { return requestsSent_; }
    bool hasMovesInFlight() const;

  private:
    struct State {
        bool inFlight = false;
        double sentAt = 0;
        std::uint64_t sequence = 0;  // requestsSent_ when sent
        int sentX = 0;
        int sentY = 0;
        std::optional<std::pair<int, int>> pending;
    };

    void send(xcb_window_t client, State& state, int x, int y);
    void sweep();

    X11Connection& x_;
    Clock now_;
    After after_;
    std::map<xcb_window_t, State> states_;
    bool sweepScheduled_ = false;
    std::uint64_t requestsSent_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tallowmere::x11
