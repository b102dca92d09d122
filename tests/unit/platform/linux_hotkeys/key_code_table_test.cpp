#include "platform/linux/key_code_table.h"

#include <gtest/gtest.h>

#include <set>

namespace tallowmere::linux_keys {
namespace {

// Pairs looked up by hand: kVK_* in HIToolbox Events.h, KEY_* in linux/input-event-codes.h. A, K,
// R, T and Escape go through the table in the hot-key and shortcut-field tests.
TEST(KeyCodeTable, TranslatesPhysicalKeysBothWays) {
    struct Case {
        const char* key;
        std::uint16_t virtualKey;
        std::uint16_t evdev;
    };
    // clang-format off
    const Case cases[] = {
        {"Backspace", 51, 14}, {"forward delete", 117, 111}, {"Return", 36, 28}, {"Tab", 48, 15},
        {"Space", 49, 57},     {"0", 29, 11},                {"5", 23, 6},       {"grave", 50, 41},
        {"F1", 122, 59},       {"F12", 111, 88},             {"F13", 105, 183},  {"F20", 90, 190},
        {"left", 123, 105},    {"up", 126, 103},             {"Page Down", 121, 109},
        {"keypad 0", 82, 82},  {"keypad Enter", 76, 96},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(evdevForVirtualKey(c.virtualKey), c.evdev);
        EXPECT_EQ(virtualKeyForEvdev(c.evdev), c.virtualKey);
        EXPECT_EQ(xKeycodeForVirtualKey(c.virtualKey), c.evdev + 8);
        EXPECT_EQ(virtualKeyForXKeycode(c.evdev + 8u), c.virtualKey);
    }
}

TEST(KeyCodeTable, IsOneToOneAndLeavesModifierKeysOut) {
    std::set<std::uint16_t> virtualKeys;
    std::set<std::uint16_t> evdevs;
    for (const auto& pair : keyCodeTable()) {
        EXPECT_TRUE(virtualKeys.insert(pair.virtualKey).second) << pair.virtualKey;
        EXPECT_TRUE(evdevs.insert(pair.evdev).second) << pair.evdev;
    }
    // 26 letters, 10 digits, 20 function keys and 17 keypad keys at least.
    EXPECT_GE(keyCodeTable().size(), 26u + 10 + 20 + 17);
    // kVK_Command 55, kVK_Shift 56, kVK_Function 63; KEY_LEFTCTRL 29, KEY_LEFTMETA 125.
    for (const std::uint32_t modifierKey : {55u, 56u, 63u}) {
        EXPECT_EQ(xKeycodeForVirtualKey(modifierKey), std::nullopt);
    }
    for (const std::uint32_t modifierKey : {29u + 8, 125u + 8, 0u, 7u, 300u}) {
        EXPECT_EQ(virtualKeyForXKeycode(modifierKey), std::nullopt);
    }
}

TEST(KeyCodeTable, MapsCarbonModifiersToXAndBack) {
    // X: Shift 0x01, Control 0x04, Mod1 0x08, Mod4 0x40.
    EXPECT_EQ(xModifiersForCarbon(0x1800), 0x04 | 0x08);  // ⌃⌥
    EXPECT_EQ(xModifiersForCarbon(0x0100), 0x40);         // ⌘
    EXPECT_EQ(xModifiersForCarbon(0x1B00), 0x4D);         // ⌃⌥⇧⌘
    EXPECT_EQ(xModifiersForCarbon(0), 0);
    EXPECT_EQ(xModifiersForCarbon(0x0400), std::nullopt);  // caps lock cannot be grabbed as such
    // Lock 0x02 and Mod2 0x10 (NumLock) are not modifiers of a shortcut.
    EXPECT_EQ(carbonForXModifiers(0x4D | 0x02 | 0x10), 0x1B00u);
    EXPECT_EQ(carbonForXModifiers(0x0C), 0x1800u);
}

}  // namespace
}  // namespace tallowmere::linux_keys
