#include "platform/linux/hotkeys/x11_keyboard_grab.h"

#include <cstdlib>

namespace tallowmere {

class X11KeyboardGrab::GrabHold final : public Hold {
  public:
    explicit GrabHold(std::weak_ptr<State> state) : state_(std::move(state)) {}
    ~GrabHold() override {
        if (auto state = state_.lock(); state && --state->holds == 0) {
            release(*state);
        }
    }

  private:
    std::weak_ptr<State> state_;
};

X11KeyboardGrab::X11KeyboardGrab(xcb_connection_t* connection, std::function<xcb_window_t()> window)
    : window_(std::move(window)), state_(std::make_shared<State>(State{connection, 0})) {}

X11KeyboardGrab::~X11KeyboardGrab() {
    if (state_->holds > 0) {
        release(*state_);
    }
}

std::unique_ptr<KeyboardGrab::Hold> X11KeyboardGrab::grabKeyboard() {
    xcb_connection_t* connection = state_->connection;
    if (connection == nullptr || xcb_connection_has_error(connection)) {
        return nullptr;
    }
    if (state_->holds == 0) {
        const xcb_window_t window = window_ ? window_() : xcb_window_t(XCB_WINDOW_NONE);
        if (window == XCB_WINDOW_NONE) {
            return nullptr;
        }
        // Owner events off: every press is reported to the grab window, whichever of our windows
        // has the focus, so the recorder's filter sees it there.
        xcb_grab_keyboard_reply_t* reply =
            xcb_grab_keyboard_reply(connection,
                                    xcb_grab_keyboard(connection, 0, window, XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    nullptr);
        const bool granted = reply != nullptr && reply->status == XCB_GRAB_STATUS_SUCCESS;
        std::free(reply);
        if (!granted) {
            return nullptr;
        }
    }
    ++state_->holds;
    return std::make_unique<GrabHold>(state_);
}

void X11KeyboardGrab::release(State& state) {
    state.holds = 0;
    if (!xcb_connection_has_error(state.connection)) {
        xcb_ungrab_keyboard(state.connection, XCB_CURRENT_TIME);
        xcb_flush(state.connection);
    }
}

}  // namespace tallowmere
