// A GetProperty reply as the bounded decoders take it: the one bridge from xcb to them.
#pragma once

#include <xcb/xcb.h>

#include "platform/linux/x11/property_decoders.h"
#include "platform/linux/x11/xcb_ptr.h"

namespace tallowmere::x11 {

inline PropertyBytes bytesOf(const xcb_get_property_reply_t* reply) {
    if (!reply) {
        return {};
    }
    const int length = xcb_get_property_value_length(reply);
    return {reply->type, reply->format,
            static_cast<const std::uint8_t*>(xcb_get_property_value(reply)),
            length > 0 ? static_cast<std::size_t>(length) : 0};
}

inline PropertyBytes bytesOf(const XcbPtr<xcb_get_property_reply_t>& reply) {
    return bytesOf(reply.get());
}

}  // namespace tallowmere::x11
