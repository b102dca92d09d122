// The hot-key port: system-wide (key code, modifier mask) registrations whose presses arrive on
// the main loop. Key codes and masks are the stored ones (macOS virtual key codes, Carbon mask).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace tallowmere {

using OSStatus = std::int32_t;
inline constexpr OSStatus kNoErr = 0;
inline constexpr OSStatus kEventHotKeyExistsErr = -9878;

// Carbon modifier bits.
inline constexpr std::uint32_t kCarbonCmdKey = 0x0100;
inline constexpr std::uint32_t kCarbonShiftKey = 0x0200;
inline constexpr std::uint32_t kCarbonOptionKey = 0x0800;
inline constexpr std::uint32_t kCarbonControlKey = 0x1000;

struct EventHotKeyID {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
};

class EventHotKeyRefImpl {
  public:
    virtual ~EventHotKeyRefImpl() = default;
};
using EventHotKeyRef = std::shared_ptr<EventHotKeyRefImpl>;

struct RegisterHotKeyResult {
    OSStatus status = kNoErr;
    EventHotKeyRef ref;  // null unless status is kNoErr
};

class HotKeyService {
  public:
    // Returns the status of handling the press; kNoErr means handled, not passed on.
    using PressHandler = std::function<OSStatus(EventHotKeyID)>;

    virtual ~HotKeyService() = default;
    // InstallEventHandler for hot-key presses; only presses are delivered, never releases.
    virtual OSStatus installPressHandler(PressHandler handler) = 0;
    virtual RegisterHotKeyResult registerHotKey(std::uint32_t keyCode,
                                                std::uint32_t carbonModifiers,
                                                EventHotKeyID id) = 0;
    virtual OSStatus unregisterHotKey(const EventHotKeyRef& ref) = 0;
};

}  // namespace tallowmere
