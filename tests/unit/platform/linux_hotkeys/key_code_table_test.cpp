#include "platform/linux/key_code_table.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace tallowmere::linux_keys {
namespace {

// Pairs looked up by hand, one or two of each block: kVK_* in HIToolbox Events.h, KEY_* in
// linux/input-event-codes.h. A, K, R, T and Escape go through the table in the hot-key and
// shortcut-field tests.
TEST(KeyCodeTable, TranslatesPhysicalKeysBothWaysOneToOneAndLeavesModifierKeysOut) {
    // clang-format off
    const std::tuple<const char*, std::uint16_t, std::uint16_t> cases[] = {
        {"Backspace", 51, 14}, {"forward delete", 117, 111}, {"Space", 49, 57}, {"0", 29, 11},
        {"grave", 50, 41},     {"F12", 111, 88},             {"F13", 105, 183}, {"up", 126, 103},
        {"keypad Enter", 76, 96},
    };
    // clang-format on
    for (const auto& [key, virtualKey, evdev] : cases) {
        EXPECT_EQ(evdevForVirtualKey(virtualKey), evdev) << key;
        EXPECT_EQ(virtualKeyForEvdev(evdev), virtualKey) << key;
        EXPECT_EQ(xKeycodeForVirtualKey(virtualKey), evdev + 8) << key;
        EXPECT_EQ(virtualKeyForXKeycode(evdev + 8u), virtualKey) << key;
    }
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
    EXPECT_EQ(xModifiersForCarbon(0x1800), 0x04 | 0x08);   // ⌃⌥
    EXPECT_EQ(xModifiersForCarbon(0x1B00), 0x4D);          // ⌃⌥⇧⌘
    EXPECT_EQ(xModifiersForCarbon(0x0400), std::nullopt);  // caps lock cannot be grabbed as such
    // Lock 0x02 and Mod2 0x10 (NumLock) are not modifiers of a shortcut.
    EXPECT_EQ(carbonForXModifiers(0x4D | 0x02 | 0x10), 0x1B00u);
}

}  // namespace
}  // namespace tallowmere::linux_keys
