// The local key-monitor port: key-down events of the program's own windows, seen before they are
// delivered, for the shortcut recorder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tallowmere {

// Device-independent modifier flags of a key event, as AppKit numbers them.
inline constexpr std::uint32_t kEventModifierFlagCapsLock = 0x10000;
inline constexpr std::uint32_t kEventModifierFlagShift = 0x20000;
inline constexpr std::uint32_t kEventModifierFlagControl = 0x40000;
inline constexpr std::uint32_t kEventModifierFlagOption = 0x80000;
inline constexpr std::uint32_t kEventModifierFlagCommand = 0x100000;

// A key press; presses of the modifier keys themselves are not key events.
struct KeyEvent {
    std::uint16_t keyCode = 0;        // macOS virtual key code of the physical key
    std::uint32_t modifierFlags = 0;  // the kEventModifierFlag* bits held
    std::string charactersIgnoringModifiers;
};

class LocalKeyMonitor {
  public:
    // Returning none swallows the event; returning the event lets it through.
    using Handler = std::function<std::optional<KeyEvent>(const KeyEvent&)>;
    using Token = std::uint64_t;

    virtual ~LocalKeyMonitor() = default;
    virtual Token addMonitor(Handler handler) = 0;
    virtual void removeMonitor(Token token) = 0;
};

}  // namespace tallowmere
