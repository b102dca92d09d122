// Small xcb helpers shared by the end-to-end benchmark driver and the floor client: owned replies,
// atoms, the monotonic clock and the one move request both contenders use.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "src/platform/linux/x11/xcb_ptr.h"

namespace tallowmere::bench {

template <typename T>
using Reply = x11::XcbPtr<T>;

inline double nowSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

inline xcb_atom_t internAtom(xcb_connection_t* c, std::string_view name) {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.data()), nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The root's _NET_CLIENT_LIST, in mapping order; empty when unreadable.
inline std::vector<xcb_window_t> clientList(xcb_connection_t* c, xcb_window_t root,
                                            xcb_atom_t netClientList) {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, netClientList, XCB_ATOM_WINDOW, 0, 4096), nullptr));
    if (!reply || reply->format != 32) {
        return {};
    }
    auto* ids = static_cast<xcb_window_t*>(xcb_get_property_value(reply.get()));
    return {ids, ids + xcb_get_property_value_length(reply.get()) / 4};
}

// The class part of WM_CLASS ("instance\0class\0").
inline std::string wmClassOf(xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 8) {
        return {};
    }
    const char* data = static_cast<const char*>(xcb_get_property_value(reply));
    const auto length = static_cast<size_t>(xcb_get_property_value_length(reply));
    const std::string_view both(data, length);
    const auto nul = both.find('\0');
    if (nul == std::string_view::npos) {
        return {};
    }
    auto cls = both.substr(nul + 1);
    if (!cls.empty() && cls.back() == '\0') {
        cls.remove_suffix(1);
    }
    return std::string(cls);
}

// Puts the frame's top-left at (x, y): gravity NorthWest, x and y only, from a pager-like source,
// which openbox, xfwm4 and icewm honour exactly.
inline void sendFrameMove(xcb_connection_t* c, xcb_window_t root, xcb_atom_t netMoveResize,
                          xcb_window_t client, int x, int y) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = client;
    event.type = netMoveResize;
    event.data.data32[0] = 1u | (1u << 8) | (1u << 9) | (2u << 12);
    event.data.data32[1] = static_cast<uint32_t>(x);
    event.data.data32[2] = static_cast<uint32_t>(y);
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
}

}  // namespace tallowmere::bench
