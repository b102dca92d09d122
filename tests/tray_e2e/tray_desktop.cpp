#include "tray_desktop.h"

#include <xcb/xcb_keysyms.h>

#include <cstdlib>

#include "child_process.h"

namespace tallowmere::e2e {
namespace {

using kit::own;

// The lock variants a grab must cover; Mod2 is NumLock in the X server's default keymap.
constexpr std::uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                           XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr std::uint16_t kControlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

}  // namespace

TrayDesktop::TrayDesktop() : kit::Probe(std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "") {}

std::optional<xcb_window_t> TrayDesktop::embeddedIn(const std::string& hostClass,
                                                    const std::string& instance) {
    for (xcb_window_t host : clientsOfClass(hostClass)) {
        std::vector<xcb_window_t> pending = children(host);
        while (!pending.empty()) {
            const xcb_window_t window = pending.back();
            pending.pop_back();
            if (wmClass(window, true) == instance) {
                return window;
            }
            for (xcb_window_t child : children(window)) {
                pending.push_back(child);
            }
        }
    }
    return std::nullopt;
}

bool TrayDesktop::click(xcb_window_t window) {
    const auto box = geometry(window);
    if (!box) {
        return false;
    }
    const kit::FramePosition origin = clientOrigin(window);
    const std::string x = std::to_string(origin.x + box->width / 2);
    const std::string y = std::to_string(origin.y + box->height / 2);
    // No --sync: it waits 15 s for a motion that never comes when the pointer already rests on the
    // spot, as it does where the last menu was opened. The server takes the move before the click.
    return kit::run({"xdotool", "mousemove", x, y, "click", "1"}) == 0;
}

bool TrayDesktop::keyboardHeldByAnother() {
    // A grab that succeeded here, even for an instant, could make the menu's own grab fail and
    // leave it without keys. The server answers AlreadyGrabbed before it checks the time, so a
    // time in the future asks without ever taking the grab: free comes back as GrabInvalidTime.
    constexpr xcb_timestamp_t kOneHour = 3'600'000;
    auto reply =
        own(xcb_grab_keyboard_reply(conn(),
                                    xcb_grab_keyboard(conn(), 0, root(), serverTime() + kOneHour,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    nullptr));
    if (reply && reply->status == XCB_GRAB_STATUS_SUCCESS) {
        xcb_ungrab_keyboard(conn(), XCB_CURRENT_TIME);
        xcb_flush(conn());
    }
    return reply && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
}

xcb_timestamp_t TrayDesktop::serverTime() {
    if (clock_ == XCB_NONE) {
        clock_ = xcb_generate_id(conn());
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(conn(), 0, clock_, root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    }
    // Touching a property of our own window brings back the server's time in its notification.
    xcb_change_property(conn(), XCB_PROP_MODE_APPEND, clock_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        0, nullptr);
    xcb_flush(conn());
    while (auto event = own(xcb_wait_for_event(conn()))) {
        const auto type = event->response_type & 0x7f;
        if (type == XCB_KEY_PRESS) {
            ++keyPresses_;
        } else if (type == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event.get());
            if (notify->window == clock_) {
                return notify->time;
            }
        }
    }
    return XCB_CURRENT_TIME;
}

xcb_keycode_t TrayDesktop::keycode(char letter) {
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(conn());
    auto codes = own(xcb_key_symbols_get_keycode(symbols, xcb_keysym_t(letter)));
    xcb_key_symbols_free(symbols);
    return codes ? codes.get()[0] : xcb_keycode_t{XCB_NO_SYMBOL};
}

int TrayDesktop::grabControlAlt(char letter, bool keep) {
    int granted = 0;
    for (std::uint16_t lock : kLockVariants) {
        granted += !own(xcb_request_check(
            conn(), xcb_grab_key_checked(conn(), 1, root(), kControlAlt | lock, keycode(letter),
                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    }
    if (!keep) {
        ungrabControlAlt(letter);
    }
    return granted;
}

void TrayDesktop::ungrabControlAlt(char letter) {
    for (std::uint16_t lock : kLockVariants) {
        xcb_ungrab_key(conn(), keycode(letter), root(), kControlAlt | lock);
    }
    sync();
}

int TrayDesktop::keyPressesReceived() {
    // A round trip first, so that every event sent before this call has arrived.
    sync();
    while (auto event = own(xcb_poll_for_event(conn()))) {
        if ((event->response_type & 0x7f) == XCB_KEY_PRESS) {
            ++keyPresses_;
        }
    }
    return keyPresses_;
}

}  // namespace tallowmere::e2e
