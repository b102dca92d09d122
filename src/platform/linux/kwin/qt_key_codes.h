// The stored shortcut (a macOS virtual key code of a physical key and a Carbon modifier mask) as
// the Qt key combination KDE's global-shortcut service speaks: the key's symbol in the keyboard
// layout (XKB_DEFAULT_LAYOUT, else US) with Qt's modifier bits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tallowmere::kwin {

// None for a key without a place on a PC keyboard, a symbol Qt has no key for, or a modifier
// KDE cannot express.
std::optional<int> qtKeyCombination(std::uint32_t virtualKey, std::uint32_t carbonModifiers);

// What the key (an X keycode, as Qt reports it on Wayland too) types without modifiers in that
// layout; empty for a key that types nothing.
std::string unmodifiedCharacters(std::uint32_t xKeycode);

}  // namespace tallowmere::kwin
