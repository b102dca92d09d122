// The characters a physical key types without modifiers in the keyboard layout in force, read
// from the X server's keymap through xkbcommon.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct xkb_context;
struct xkb_keymap;

namespace tallowmere::x11 {

class XkbKeyCharacters {
  public:
    XkbKeyCharacters();
    ~XkbKeyCharacters();
    XkbKeyCharacters(const XkbKeyCharacters&) = delete;
    XkbKeyCharacters& operator=(const XkbKeyCharacters&) = delete;

    // Fetches the server's current keymap over a short-lived connection of our own, so that
    // nothing is asked of the toolkit's connection. Keeps the old map when that fails.
    void reload();
    // The first level of the key in the layout group the X state selects; empty for a key that
    // types nothing (F1, arrows) or when no keymap could be read.
    std::string unmodified(std::uint32_t xKeycode, std::uint32_t xState) const;

  private:
    struct ContextDeleter {
        void operator()(xkb_context* context) const;
    };
    struct KeymapDeleter {
        void operator()(xkb_keymap* keymap) const;
    };
    std::unique_ptr<xkb_context, ContextDeleter> context_;
    std::unique_ptr<xkb_keymap, KeymapDeleter> keymap_;
};

}  // namespace tallowmere::x11
