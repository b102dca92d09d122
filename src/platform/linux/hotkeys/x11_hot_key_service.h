// Global hot keys on X11: passive key grabs on the root window, one per lock-key variant of the
// combination, fed with the events of a connection that someone else owns and reads.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "platform/hot_key_service.h"

namespace tallowmere {

class X11HotKeyService final : public HotKeyService {
  public:
    // Does not own the connection, which must outlive this object, and never reads its events:
    // the owner passes every event to handleEvent. Turns on XKB for the connection, with
    // detectable auto-repeat (a held key repeats as presses without releases) and the keyboard
    // map notifications, which XKB clients get instead of the core MappingNotify.
    X11HotKeyService(xcb_connection_t* connection, xcb_window_t root);
    X11HotKeyService(const X11HotKeyService&) = delete;
    X11HotKeyService& operator=(const X11HotKeyService&) = delete;
    // Releases every grab still held.
    ~X11HotKeyService() override;

    OSStatus installPressHandler(PressHandler handler) override;
    // Refused with kEventHotKeyExistsErr when another client (or this service) holds any lock
    // variant of the combination, or when the key or a modifier has no X equivalent.
    RegisterHotKeyResult registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                        EventHotKeyID id) override;
    OSStatus unregisterHotKey(const EventHotKeyRef& ref) override;

    // True when the event was this service's: a key event of its grabs, or a keyboard map change
    // (core MappingNotify or XKB map notify, which other users of the connection may still want
    // to see).
    bool handleEvent(const xcb_generic_event_t* event);

    // The modifier bit Num_Lock is mapped to; 0 when it has none.
    std::uint16_t numLockMask() const { return numLockMask_; }
    bool detectableAutoRepeat() const { return detectableAutoRepeat_; }

  private:
    class Ref;
    struct Grab {
        EventHotKeyID id;
        std::uint8_t keycode = 0;
        std::uint16_t modifiers = 0;
    };

    std::vector<std::uint16_t> lockVariants() const;
    // All variants or none: on any refusal the variants granted so far are released.
    bool grabVariants(std::uint8_t keycode, std::uint16_t modifiers);
    void ungrabVariants(std::uint8_t keycode, std::uint16_t modifiers);
    std::uint16_t readNumLockMask() const;
    bool enableXkb();
    void keyboardMappingChanged();
    bool handleKey(std::uint8_t type, std::uint8_t keycode, std::uint16_t state,
                   xcb_timestamp_t time);
    void dispatch(EventHotKeyID id);

    xcb_connection_t* connection_;
    xcb_window_t root_;
    std::uint8_t minKeycode_;
    std::uint8_t maxKeycode_;
    std::uint16_t numLockMask_ = 0;
    std::vector<PressHandler> handlers_;
    std::map<std::uint64_t, Grab> grabs_;  // by the serial of their Ref
    std::uint64_t nextSerial_ = 1;
    bool detectableAutoRepeat_ = false;
    std::optional<std::uint8_t> xkbFirstEvent_;
    // Auto-repeat arrives as presses of a key that is still down; without detectable repeat, as
    // a release and a press with the same time stamp instead. Neither is a new press.
    std::set<std::uint8_t> keysDown_;
    std::optional<std::pair<std::uint8_t, xcb_timestamp_t>> lastRelease_;
};

}  // namespace tallowmere
