// Translation between the stored key codes (macOS virtual key codes of physical key positions,
// Carbon modifier masks) and the X server's keycodes (evdev code + 8) and modifier masks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tallowmere::linux_keys {

// X core modifier bits.
inline constexpr std::uint16_t kXShiftMask = 0x01;
inline constexpr std::uint16_t kXLockMask = 0x02;
inline constexpr std::uint16_t kXControlMask = 0x04;
inline constexpr std::uint16_t kXMod1Mask = 0x08;  // Alt
inline constexpr std::uint16_t kXMod4Mask = 0x40;  // Super

// X keycodes are evdev codes shifted by 8 on every evdev-based server (Xorg, Xvfb, Xwayland).
inline constexpr std::uint16_t kEvdevToXKeycodeOffset = 8;

struct KeyCodePair {
    std::uint16_t virtualKey;  // macOS kVK_* value
    std::uint16_t evdev;       // Linux KEY_* value
};

// Every key that has a place on both sides; modifier keys are left out because they cannot be
// the main key of a shortcut.
std::span<const KeyCodePair> keyCodeTable();

std::optional<std::uint16_t> evdevForVirtualKey(std::uint32_t virtualKey);
std::optional<std::uint16_t> virtualKeyForEvdev(std::uint32_t evdev);
// None also when the keycode is outside X's 8…255.
std::optional<std::uint8_t> xKeycodeForVirtualKey(std::uint32_t virtualKey);
std::optional<std::uint16_t> virtualKeyForXKeycode(std::uint32_t xKeycode);

// Command → Mod4, option → Mod1, control → Control, shift → Shift. None when the mask holds any
// other bit, which X could not express.
std::optional<std::uint16_t> xModifiersForCarbon(std::uint32_t carbonModifiers);
// The inverse for an event's state; lock, NumLock and the other modifier bits are dropped.
std::uint32_t carbonForXModifiers(std::uint16_t xState);

}  // namespace tallowmere::linux_keys
