#include "platform/linux/x11_backend/xkb_key_characters.h"

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

namespace tallowmere::x11 {

void XkbKeyCharacters::ContextDeleter::operator()(xkb_context* context) const {
    xkb_context_unref(context);
}

void XkbKeyCharacters::KeymapDeleter::operator()(xkb_keymap* keymap) const {
    xkb_keymap_unref(keymap);
}

XkbKeyCharacters::XkbKeyCharacters() : context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

XkbKeyCharacters::~XkbKeyCharacters() = default;

void XkbKeyCharacters::reload() {
    if (!context_) {
        return;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) == 0 &&
        xkb_x11_setup_xkb_extension(
            connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr) == 1) {
        const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
        if (device >= 0) {
            if (xkb_keymap* keymap = xkb_x11_keymap_new_from_device(
                    context_.get(), connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS)) {
                keymap_.reset(keymap);
            }
        }
    }
    xcb_disconnect(connection);
}

std::string XkbKeyCharacters::unmodified(std::uint32_t xKeycode, std::uint32_t xState) const {
    if (!keymap_) {
        return {};
    }
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap_.get(), xKeycode);
    if (layouts == 0) {
        return {};
    }
    // The core state carries the XKB group in bits 13 and 14; a key with fewer groups wraps.
    const xkb_layout_index_t layout = ((xState >> 13) & 3) % layouts;
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap_.get(), xKeycode, layout, 0, &syms);
    if (count < 1 || !syms) {
        return {};
    }
    char buffer[8] = {};
    const int written = xkb_keysym_to_utf8(syms[0], buffer, sizeof buffer);
    // The count includes the terminating NUL; 0 means the keysym has no character.
    return written > 1 ? std::string(buffer, static_cast<std::size_t>(written - 1)) : std::string();
}

}  // namespace tallowmere::x11
