// Coalescing moves per window until the window manager confirms the previous one.
#include "platform/linux/x11/window_mover.h"

#include <xcb/xcb_ewmh.h>

namespace tallowmere::x11 {

void WindowMover::move(const MirroredWindow& window, int x, int y) {
    State& state = states_[window.client];
    if (state.inFlight) {
        if (x == state.sentX && y == state.sentY) {
            state.pending.reset();
        } else {
            state.pending = std::make_pair(x, y);
        }
        return;
    }
    if (x == window.frameX && y == window.frameY) {
        return;  // never resend a position the frame already has
    }
    send(window.client, state, x, y);
}

bool WindowMover::hasMovesInFlight() const {
    for (const auto& [client, state] : states_) {
        if (state.inFlight) {
            return true;
        }
    }
    return false;
}

void WindowMover::frameMoved(const MirroredWindow& window) {
    auto it = states_.find(window.client);
    if (it == states_.end() || !it->second.inFlight) {
        return;
    }
    State& state = it->second;
    state.inFlight = false;
    if (window.frameX == state.sentX && window.frameY == state.sentY) {
        // The window manager handles moves in order: one sent before this one and still
        // unconfirmed was ignored, and that window may move again.
        for (auto& [client, earlier] : states_) {
            if (earlier.inFlight && earlier.sequence < state.sequence) {
                earlier.inFlight = false;
                if (auto next = earlier.pending) {
                    earlier.pending.reset();
                    send(client, earlier, next->first, next->second);
                }
            }
        }
    }
    if (auto next = state.pending) {
        state.pending.reset();
        if (next->first != window.frameX || next->second != window.frameY) {
            send(window.client, state, next->first, next->second);
        }
    }
}

void WindowMover::send(xcb_window_t client, State& state, int x, int y) {
    // Gravity NorthWest puts the frame's top-left at the point; a plain ConfigureWindow would
    // follow the client's own gravity and land off by the frame extents. Sent to the window
    // manager alone (SubstructureRedirect): with SubstructureNotify as well, every move would
    // come back to us, who listen on the root, as one more event to read per window and frame.
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = client;
    message.type = x_.ewmh()->_NET_MOVERESIZE_WINDOW;
    message.data.data32[0] = std::uint32_t{XCB_GRAVITY_NORTH_WEST} | XCB_EWMH_MOVERESIZE_WINDOW_X |
                             XCB_EWMH_MOVERESIZE_WINDOW_Y |
                             std::uint32_t{XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER} << 12;
    message.data.data32[1] = static_cast<std::uint32_t>(x);
    message.data.data32[2] = static_cast<std::uint32_t>(y);
    xcb_send_event(x_.conn(), 0, x_.root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    ++requestsSent_;
    state.inFlight = true;
    state.sequence = requestsSent_;
    state.sentAt = now_();
    state.sentX = x;
    state.sentY = y;
    if (!sweepScheduled_) {
        sweepScheduled_ = true;
        std::weak_ptr<bool> alive = alive_;
        after_(kConfirmTimeout, [this, alive] {
            if (alive.lock()) {
                sweep();
            }
        });
    }
}

void WindowMover::sweep() {
    sweepScheduled_ = false;
    const double now = now_();
    bool waiting = false;
    for (auto& [client, state] : states_) {
        if (!state.inFlight) {
            continue;
        }
        if (now - state.sentAt < kConfirmTimeout) {
            waiting = true;
            continue;
        }
        state.inFlight = false;
        if (auto next = state.pending) {
            state.pending.reset();
            send(client, state, next->first, next->second);
        }
    }
    if (waiting && !sweepScheduled_) {
        sweepScheduled_ = true;
        std::weak_ptr<bool> alive = alive_;
        after_(kConfirmTimeout / 2, [this, alive] {
            if (alive.lock()) {
                sweep();
            }
        });
    }
    x_.flush();
}

}  // namespace tallowmere::x11
