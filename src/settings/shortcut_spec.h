// One global keyboard shortcut as it is recorded and stored, and its compact JSON form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/preferences_store.h"

namespace tallowmere {

struct ShortcutSpec {
    // Virtual key code of the main key (independent of the keyboard layout; 53 is Escape).
    std::uint16_t keyCode = 0;
    // Carbon modifier mask: command 0x0100, shift 0x0200, option 0x0800, control 0x1000.
    std::uint32_t carbonModifiers = 0;
    // Composed once when the shortcut is recorded and stored as is, never recomputed.
    std::string displayString;

    friend bool operator==(const ShortcutSpec&, const ShortcutSpec&) = default;
};

// Reads {"keyCode":…,"carbonModifiers":…,"displayString":…} in any member order, ignoring other
// members. Anything else (a missing or mistyped member, a number that is negative, fractional or
// too wide, bytes that are not JSON or not UTF-8) gives none.
std::optional<ShortcutSpec> decodeShortcut(const PrefData& data);

// The compact JSON text as bytes; none when the display string is not valid UTF-8.
std::optional<PrefData> encodeShortcut(const ShortcutSpec& shortcut);

}  // namespace tallowmere
