// Reading monitors and the work area, and the conversion to the core's screen model.
#include "platform/linux/x11/x11_screens.h"

#include <algorithm>

#include "platform/linux/x11/property_reply.h"
#include "platform/linux/x11/xcb_ptr.h"

namespace tallowmere::x11 {

std::vector<Screen> screensFromMonitors(const std::vector<RootRect>& monitors,
                                        const std::optional<RootRect>& workArea) {
    std::vector<Screen> result;
    if (monitors.empty()) {
        return result;
    }
    // Root y grows down from the top of the root window; the core's screen y grows up from the
    // bottom of the primary's frame, so that its conversion back gives root coordinates.
    const double h = monitors.front().height;
    auto convert = [h](const RootRect& r) {
        return Rect{{double(r.x), h - r.y - r.height}, {double(r.width), double(r.height)}};
    };
    for (const RootRect& monitor : monitors) {
        // _NET_WORKAREA spans the whole desktop with several monitors: clip it to each.
        RootRect visible = monitor;
        if (workArea) {
            if (auto clipped = intersect(monitor, *workArea)) {
                visible = *clipped;
            }
        }
        result.push_back({convert(monitor), convert(visible)});
    }
    return result;
}

X11Screens::X11Screens(X11Connection& x, std::function<std::optional<RootRect>()> activeFrame)
    : x_(x), activeFrame_(std::move(activeFrame)) {}

void X11Screens::start() {
    if (x_.hasRandr()) {
        xcb_randr_select_input(x_.conn(), x_.root(),
                               XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE |
                                   XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                                   XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    }
    request();
}

X11Screens::~X11Screens() {
    if (requested_) {
        forget(*requested_);
    }
}

void X11Screens::forget(const Requests& r) {
    xcb_connection_t* c = x_.conn();
    if (r.monitors) {
        xcb_discard_reply(c, r.monitors->sequence);
    }
    xcb_discard_reply(c, r.desktop.sequence);
    xcb_discard_reply(c, r.area.sequence);
}

void X11Screens::request() {
    // A reply already on its way may predate the change that made the answer stale again.
    if (requested_) {
        forget(*requested_);
    }
    xcb_connection_t* c = x_.conn();
    Requests r;
    if (x_.hasRandr()) {
        r.monitors = xcb_randr_get_monitors(c, x_.root(), 1);
    }
    // The window manager's work area is any client's to write: clipped to the root on reading.
    xcb_ewmh_connection_t* ewmh = x_.ewmh();
    r.desktop = xcb_get_property(c, 0, x_.root(), ewmh->_NET_CURRENT_DESKTOP,
                                 XCB_GET_PROPERTY_TYPE_ANY, 0, 1);
    r.area =
        xcb_get_property(c, 0, x_.root(), ewmh->_NET_WORKAREA, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096);
    requested_ = r;
}

bool X11Screens::handleEvent(const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7f;
    if (x_.hasRandr() && (type == x_.randrEventBase() + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                          type == x_.randrEventBase() + XCB_RANDR_NOTIFY)) {
        request();
        return true;
    }
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (e.window == x_.root() &&
            (e.atom == x_.ewmh()->_NET_WORKAREA || e.atom == x_.ewmh()->_NET_CURRENT_DESKTOP)) {
            request();
        }
    }
    if (type == XCB_CONFIGURE_NOTIFY) {
        const auto& e = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
        if (e.window == x_.root()) {
            request();
        }
    }
    return false;
}

void X11Screens::refresh() {
    xcb_connection_t* c = x_.conn();
    if (!requested_) {
        request();
    }
    const Requests r = *requested_;
    requested_.reset();

    std::vector<RootRect> primary;
    std::vector<RootRect> others;
    if (r.monitors) {
        auto reply = own(xcb_randr_get_monitors_reply(c, *r.monitors, nullptr));
        if (reply) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem;
                 xcb_randr_monitor_info_next(&it)) {
                const xcb_randr_monitor_info_t* m = it.data;
                if (m->width == 0 || m->height == 0) {
                    continue;
                }
                RootRect rect{m->x, m->y, m->width, m->height};
                (m->primary && primary.empty() ? primary : others).push_back(rect);
            }
        }
    }
    monitors_ = primary;
    monitors_.insert(monitors_.end(), others.begin(), others.end());
    if (monitors_.empty()) {
        const xcb_screen_t* root = x_.screen();
        monitors_.push_back({0, 0, root->width_in_pixels, root->height_in_pixels});
    }

    auto desktopReply = own(xcb_get_property_reply(c, r.desktop, nullptr));
    auto areaReply = own(xcb_get_property_reply(c, r.area, nullptr));
    const std::uint32_t desktop = decodeCardinal(bytesOf(desktopReply)).value_or(0);
    const xcb_screen_t* s = x_.screen();
    const std::optional<RootRect> workArea =
        decodeWorkArea(bytesOf(areaReply), desktop, s->width_in_pixels, s->height_in_pixels);
    screens_ = screensFromMonitors(monitors_, workArea);
}

std::vector<Screen> X11Screens::screens() {
    if (requested_ || screens_.empty()) {
        refresh();
    }
    return screens_;
}

std::optional<Screen> X11Screens::mainScreen() {
    if (requested_ || screens_.empty()) {
        refresh();
    }
    if (screens_.empty()) {
        return std::nullopt;
    }
    // The screen that holds the focused window, as the key window's screen elsewhere.
    if (auto frame = activeFrame_ ? activeFrame_() : std::nullopt) {
        const int cx = frame->x + frame->width / 2;
        const int cy = frame->y + frame->height / 2;
        for (std::size_t i = 0; i < monitors_.size() && i < screens_.size(); ++i) {
            const RootRect& m = monitors_[i];
            if (cx >= m.x && cx < m.x + m.width && cy >= m.y && cy < m.y + m.height) {
                return screens_[i];
            }
        }
    }
    return screens_.front();
}

}  // namespace tallowmere::x11
