// The keyboard grab on X11: an active grab on one of our windows, which takes precedence over
// every passive key grab (other clients' global shortcuts and our own).
#pragma once

#include <xcb/xcb.h>

#include <functional>
#include <memory>

#include "platform/keyboard_grab.h"

namespace tallowmere {

class X11KeyboardGrab final : public KeyboardGrab {
  public:
    // The grab is made on `window()` (viewable, and known to whoever reads the connection's
    // events, so that the presses reach that window); the connection must outlive this object.
    X11KeyboardGrab(xcb_connection_t* connection, std::function<xcb_window_t()> window);
    X11KeyboardGrab(const X11KeyboardGrab&) = delete;
    X11KeyboardGrab& operator=(const X11KeyboardGrab&) = delete;
    // Releases a grab still held; holds left over do nothing afterwards.
    ~X11KeyboardGrab() override;

    std::unique_ptr<Hold> grabKeyboard() override;

  private:
    class GrabHold;
    struct State {
        xcb_connection_t* connection = nullptr;
        int holds = 0;
    };
    static void release(State& state);

    std::function<xcb_window_t()> window_;
    std::shared_ptr<State> state_;
};

}  // namespace tallowmere
