#include "platform/linux/key_code_table.h"

#include "platform/hot_key_service.h"

namespace tallowmere::linux_keys {

namespace {

// Left: kVK_* (HIToolbox Events.h); right: KEY_* (linux/input-event-codes.h).
constexpr KeyCodePair kTable[] = {
    // Letters.
    {0x00, 30},  // A
    {0x0B, 48},  // B
    {0x08, 46},  // C
    {0x02, 32},  // D
    {0x0E, 18},  // E
    {0x03, 33},  // F
    {0x05, 34},  // G
    {0x04, 35},  // H
    {0x22, 23},  // I
    {0x26, 36},  // J
    {0x28, 37},  // K
    {0x25, 38},  // L
    {0x2E, 50},  // M
    {0x2D, 49},  // N
    {0x1F, 24},  // O
    {0x23, 25},  // P
    {0x0C, 16},  // Q
    {0x0F, 19},  // R
    {0x01, 31},  // S
    {0x11, 20},  // T
    {0x20, 22},  // U
    {0x09, 47},  // V
    {0x0D, 17},  // W
    {0x07, 45},  // X
    {0x10, 21},  // Y
    {0x06, 44},  // Z
    // Digits of the main block.
    {0x1D, 11},  // 0
    {0x12, 2},   // 1
    {0x13, 3},   // 2
    {0x14, 4},   // 3
    {0x15, 5},   // 4
    {0x17, 6},   // 5
    {0x16, 7},   // 6
    {0x1A, 8},   // 7
    {0x1C, 9},   // 8
    {0x19, 10},  // 9
    // Punctuation (US positions).
    {0x1B, 12},   // minus
    {0x18, 13},   // equal
    {0x21, 26},   // left bracket
    {0x1E, 27},   // right bracket
    {0x29, 39},   // semicolon
    {0x27, 40},   // quote
    {0x32, 41},   // grave
    {0x2A, 43},   // backslash
    {0x2B, 51},   // comma
    {0x2F, 52},   // period
    {0x2C, 53},   // slash
    {0x0A, 86},   // ISO section: the extra key beside the left shift
    {0x5D, 124},  // JIS yen
    {0x5E, 89},   // JIS underscore (ro)
    // Editing and whitespace.
    {0x24, 28},   // Return
    {0x30, 15},   // Tab
    {0x31, 57},   // Space
    {0x33, 14},   // Delete: the backspace key
    {0x75, 111},  // forward delete
    {0x35, 1},    // Escape
    {0x72, 110},  // Help sits where PC keyboards have Insert
    // Navigation.
    {0x73, 102},  // Home
    {0x77, 107},  // End
    {0x74, 104},  // Page Up
    {0x79, 109},  // Page Down
    {0x7B, 105},  // left arrow
    {0x7C, 106},  // right arrow
    {0x7D, 108},  // down arrow
    {0x7E, 103},  // up arrow
    // Function keys.
    {0x7A, 59},   // F1
    {0x78, 60},   // F2
    {0x63, 61},   // F3
    {0x76, 62},   // F4
    {0x60, 63},   // F5
    {0x61, 64},   // F6
    {0x62, 65},   // F7
    {0x64, 66},   // F8
    {0x65, 67},   // F9
    {0x6D, 68},   // F10
    {0x67, 87},   // F11
    {0x6F, 88},   // F12
    {0x69, 183},  // F13
    {0x6B, 184},  // F14
    {0x71, 185},  // F15
    {0x6A, 186},  // F16
    {0x40, 187},  // F17
    {0x4F, 188},  // F18
    {0x50, 189},  // F19
    {0x5A, 190},  // F20
    // Keypad.
    {0x52, 82},   // 0
    {0x53, 79},   // 1
    {0x54, 80},   // 2
    {0x55, 81},   // 3
    {0x56, 75},   // 4
    {0x57, 76},   // 5
    {0x58, 77},   // 6
    {0x59, 71},   // 7
    {0x5B, 72},   // 8
    {0x5C, 73},   // 9
    {0x41, 83},   // decimal
    {0x43, 55},   // multiply
    {0x45, 78},   // plus
    {0x4E, 74},   // minus
    {0x4B, 98},   // divide
    {0x4C, 96},   // Enter
    {0x51, 117},  // equals
    {0x47, 69},   // Clear sits where PC keypads have Num Lock
    {0x5F, 95},   // JIS keypad comma
    // Media keys that macOS also numbers.
    {0x48, 115},  // volume up
    {0x49, 114},  // volume down
    {0x4A, 113},  // mute
};

}  // namespace

std::span<const KeyCodePair> keyCodeTable() {
    return kTable;
}

std::optional<std::uint16_t> evdevForVirtualKey(std::uint32_t virtualKey) {
    for (const auto& pair : kTable) {
        if (pair.virtualKey == virtualKey) {
            return pair.evdev;
        }
    }
    return std::nullopt;
}

std::optional<std::uint16_t> virtualKeyForEvdev(std::uint32_t evdev) {
    for (const auto& pair : kTable) {
        if (pair.evdev == evdev) {
            return pair.virtualKey;
        }
    }
    return std::nullopt;
}

std::optional<std::uint8_t> xKeycodeForVirtualKey(std::uint32_t virtualKey) {
    const auto evdev = evdevForVirtualKey(virtualKey);
    if (!evdev || *evdev + kEvdevToXKeycodeOffset > 255) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(*evdev + kEvdevToXKeycodeOffset);
}

std::optional<std::uint16_t> virtualKeyForXKeycode(std::uint32_t xKeycode) {
    if (xKeycode < kEvdevToXKeycodeOffset || xKeycode > 255) {
        return std::nullopt;
    }
    return virtualKeyForEvdev(xKeycode - kEvdevToXKeycodeOffset);
}

std::optional<std::uint16_t> xModifiersForCarbon(std::uint32_t carbonModifiers) {
    if (carbonModifiers &
        ~(kCarbonCmdKey | kCarbonShiftKey | kCarbonOptionKey | kCarbonControlKey)) {
        return std::nullopt;
    }
    std::uint16_t x = 0;
    if (carbonModifiers & kCarbonCmdKey) {
        x |= kXMod4Mask;
    }
    if (carbonModifiers & kCarbonShiftKey) {
        x |= kXShiftMask;
    }
    if (carbonModifiers & kCarbonOptionKey) {
        x |= kXMod1Mask;
    }
    if (carbonModifiers & kCarbonControlKey) {
        x |= kXControlMask;
    }
    return x;
}

std::uint32_t carbonForXModifiers(std::uint16_t xState) {
    std::uint32_t carbon = 0;
    if (xState & kXMod4Mask) {
        carbon |= kCarbonCmdKey;
    }
    if (xState & kXShiftMask) {
        carbon |= kCarbonShiftKey;
    }
    if (xState & kXMod1Mask) {
        carbon |= kCarbonOptionKey;
    }
    if (xState & kXControlMask) {
        carbon |= kCarbonControlKey;
    }
    return carbon;
}

}  // namespace tallowmere::linux_keys
