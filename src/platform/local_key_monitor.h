// The local key-monitor port: key-down events of the program's own windows, seen before they are
// delivered, for the shortcut recorder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tallowmere {

struct KeyEvent {
    std::uint16_t keyCode = 0;          // macOS virtual key code
    std::uint32_t carbonModifiers = 0;  // Carbon mask of the modifiers held
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
