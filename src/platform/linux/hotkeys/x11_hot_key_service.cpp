#include "platform/linux/hotkeys/x11_hot_key_service.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

// xkb.h names a struct member "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include "platform/linux/key_code_table.h"

namespace tallowmere {

namespace {

inline constexpr OSStatus kEventHotKeyInvalidErr = -9879;
inline constexpr xcb_keysym_t kNumLockKeysym = 0xff7f;
// The modifier bits a grab is made for; button bits and the rest of a state are not.
inline constexpr std::uint16_t kModifierBits = 0xff;

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;

}  // namespace

class X11HotKeyService::Ref final : public EventHotKeyRefImpl {
  public:
    Ref(const X11HotKeyService* owner, std::uint64_t serial) : owner(owner), serial(serial) {}
    const X11HotKeyService* owner;
    std::uint64_t serial;
};

X11HotKeyService::X11HotKeyService(xcb_connection_t* connection, xcb_window_t root)
    : connection_(connection), root_(root) {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    minKeycode_ = setup ? setup->min_keycode : 8;
    maxKeycode_ = setup ? setup->max_keycode : 255;
    numLockMask_ = readNumLockMask();
    detectableAutoRepeat_ = enableXkb();
}

X11HotKeyService::~X11HotKeyService() {
    for (const auto& [serial, grab] : grabs_) {
        ungrabVariants(grab.keycode, grab.modifiers);
    }
    xcb_flush(connection_);
}

OSStatus X11HotKeyService::installPressHandler(PressHandler handler) {
    handlers_.push_back(std::move(handler));
    return kNoErr;
}

RegisterHotKeyResult X11HotKeyService::registerHotKey(std::uint32_t keyCode,
                                                      std::uint32_t carbonModifiers,
                                                      EventHotKeyID id) {
    const auto keycode = linux_keys::xKeycodeForVirtualKey(keyCode);
    const auto modifiers = linux_keys::xModifiersForCarbon(carbonModifiers);
    // A grab without a modifier would take a bare key from every other application.
    if (!keycode || !modifiers || *modifiers == 0 || *keycode < minKeycode_ ||
        *keycode > maxKeycode_) {
        return {kEventHotKeyExistsErr, nullptr};
    }
    // X would let this client grab the same keys twice, and the first ungrab would then
    // silently release both registrations.
    const bool heldHere = std::any_of(grabs_.begin(), grabs_.end(), [&](const auto& entry) {
        return entry.second.keycode == *keycode && entry.second.modifiers == *modifiers;
    });
    if (heldHere || !grabVariants(*keycode, *modifiers)) {
        return {kEventHotKeyExistsErr, nullptr};
    }
    const std::uint64_t serial = nextSerial_++;
    grabs_[serial] = Grab{id, *keycode, *modifiers};
    return {kNoErr, std::make_shared<Ref>(this, serial)};
}

OSStatus X11HotKeyService::unregisterHotKey(const EventHotKeyRef& ref) {
    const auto* own = dynamic_cast<const Ref*>(ref.get());
    if (!own || own->owner != this) {
        return kEventHotKeyInvalidErr;
    }
    const auto found = grabs_.find(own->serial);
    if (found == grabs_.end()) {
        return kEventHotKeyInvalidErr;
    }
    ungrabVariants(found->second.keycode, found->second.modifiers);
    xcb_flush(connection_);
    keysDown_.erase(found->second.keycode);
    grabs_.erase(found);
    return kNoErr;
}

std::vector<std::uint16_t> X11HotKeyService::lockVariants() const {
    std::vector<std::uint16_t> variants = {0, XCB_MOD_MASK_LOCK};
    if (numLockMask_ != 0 && numLockMask_ != XCB_MOD_MASK_LOCK) {
        variants.push_back(numLockMask_);
        variants.push_back(numLockMask_ | XCB_MOD_MASK_LOCK);
    }
    return variants;
}

bool X11HotKeyService::grabVariants(std::uint8_t keycode, std::uint16_t modifiers) {
    // All requests first, then the answers: a BadAccess arrives only after its request is
    // processed, and one round trip serves every variant.
    std::vector<std::pair<std::uint16_t, xcb_void_cookie_t>> requests;
    for (const std::uint16_t variant : lockVariants()) {
        const std::uint16_t mask = modifiers | variant;
        // Owner events off: the press is ours even when one of our own windows has the focus.
        requests.emplace_back(mask, xcb_grab_key_checked(connection_, 0, root_, mask, keycode,
                                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    std::vector<std::uint16_t> granted;
    bool refused = false;
    for (const auto& [mask, cookie] : requests) {
        XcbPtr<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
        if (error || xcb_connection_has_error(connection_)) {
            refused = true;
        } else {
            granted.push_back(mask);
        }
    }
    if (refused) {
        for (const std::uint16_t mask : granted) {
            xcb_ungrab_key(connection_, keycode, root_, mask);
        }
        xcb_flush(connection_);
    }
    return !refused;
}

void X11HotKeyService::ungrabVariants(std::uint8_t keycode, std::uint16_t modifiers) {
    for (const std::uint16_t variant : lockVariants()) {
        xcb_ungrab_key(connection_, keycode, root_, modifiers | variant);
    }
}

std::uint16_t X11HotKeyService::readNumLockMask() const {
    const int count = maxKeycode_ - minKeycode_ + 1;
    XcbPtr<xcb_get_keyboard_mapping_reply_t> keyboard(xcb_get_keyboard_mapping_reply(
        connection_,
        xcb_get_keyboard_mapping(connection_, minKeycode_, static_cast<std::uint8_t>(count)),
        nullptr));
    XcbPtr<xcb_get_modifier_mapping_reply_t> modifiers(xcb_get_modifier_mapping_reply(
        connection_, xcb_get_modifier_mapping(connection_), nullptr));
    if (!keyboard || !modifiers) {
        return 0;
    }
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(keyboard.get());
    const int keysymCount = xcb_get_keyboard_mapping_keysyms_length(keyboard.get());
    const int perKeycode = keyboard->keysyms_per_keycode;
    const auto isNumLock = [&](xcb_keycode_t keycode) {
        if (keycode < minKeycode_ || perKeycode == 0) {
            return false;
        }
        const int first = (keycode - minKeycode_) * perKeycode;
        for (int i = first; i < first + perKeycode && i < keysymCount; ++i) {
            if (keysyms[i] == kNumLockKeysym) {
                return true;
            }
        }
        return false;
    };
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int keycodeCount = xcb_get_modifier_mapping_keycodes_length(modifiers.get());
    const int perModifier = modifiers->keycodes_per_modifier;
    for (int i = 0; i < keycodeCount && perModifier > 0; ++i) {
        if (keycodes[i] != 0 && isNumLock(keycodes[i])) {
            return static_cast<std::uint16_t>(1u << (i / perModifier));
        }
    }
    return 0;
}

bool X11HotKeyService::enableXkb() {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection_, &xcb_xkb_id);
    if (extension == nullptr || !extension->present) {
        return false;
    }
    XcbPtr<xcb_xkb_use_extension_reply_t> xkb(xcb_xkb_use_extension_reply(
        connection_, xcb_xkb_use_extension(connection_, 1, 0), nullptr));
    if (!xkb || !xkb->supported) {
        return false;
    }
    xkbFirstEvent_ = extension->first_event;
    constexpr std::uint16_t kEvents =
        XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    constexpr std::uint16_t kParts = XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP;
    xcb_xkb_select_events(connection_, XCB_XKB_ID_USE_CORE_KBD, kEvents, 0, kEvents, kParts, kParts,
                          nullptr);
    constexpr std::uint32_t kFlag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    XcbPtr<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
        connection_,
        xcb_xkb_per_client_flags(connection_, XCB_XKB_ID_USE_CORE_KBD, kFlag, kFlag, 0, 0, 0),
        nullptr));
    return flags && (flags->value & kFlag) != 0;
}

bool X11HotKeyService::handleEvent(const xcb_generic_event_t* event) {
    if (event == nullptr) {
        return false;
    }
    const std::uint8_t type = event->response_type & 0x7f;
    if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
        // Press and release share one layout.
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (key->event != root_) {
            return false;
        }
        return handleKey(type, key->detail, key->state, key->time);
    }
    if (type == XCB_MAPPING_NOTIFY) {
        const auto* mapping = reinterpret_cast<const xcb_mapping_notify_event_t*>(event);
        if (mapping->request == XCB_MAPPING_POINTER) {
            return false;
        }
        keyboardMappingChanged();
        return true;
    }
    if (xkbFirstEvent_ && type == *xkbFirstEvent_) {
        // Every XKB event carries its kind in the second byte.
        const std::uint8_t xkbType = event->pad0;
        if (xkbType == XCB_XKB_MAP_NOTIFY || xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY) {
            keyboardMappingChanged();
            return true;
        }
    }
    return false;
}

void X11HotKeyService::keyboardMappingChanged() {
    // The grabs follow physical keycodes, which no mapping changes; only the lock variants
    // depend on where Num_Lock now sits.
    const std::uint16_t fresh = readNumLockMask();
    if (fresh == numLockMask_) {
        return;
    }
    for (const auto& [serial, grab] : grabs_) {
        ungrabVariants(grab.keycode, grab.modifiers);
    }
    numLockMask_ = fresh;
    for (const auto& [serial, grab] : grabs_) {
        grabVariants(grab.keycode, grab.modifiers);
    }
    xcb_flush(connection_);
}

bool X11HotKeyService::handleKey(std::uint8_t type, std::uint8_t keycode, std::uint16_t state,
                                 xcb_timestamp_t time) {
    const bool ours = std::any_of(grabs_.begin(), grabs_.end(), [&](const auto& entry) {
        return entry.second.keycode == keycode;
    });
    if (!ours) {
        return false;
    }
    if (type == XCB_KEY_RELEASE) {
        keysDown_.erase(keycode);
        lastRelease_ = std::make_pair(keycode, time);
        return true;
    }
    // The time-stamp rule would also swallow a synthetic press sent in the same millisecond as
    // the previous release, so it is used only when the server cannot tell repeats apart.
    const bool repeat = keysDown_.contains(keycode) ||
                        (!detectableAutoRepeat_ && lastRelease_ == std::make_pair(keycode, time));
    keysDown_.insert(keycode);
    if (repeat) {
        return true;
    }
    const std::uint16_t locks = XCB_MOD_MASK_LOCK | numLockMask_;
    const std::uint16_t pressed = state & kModifierBits & ~locks;
    for (const auto& [serial, grab] : grabs_) {
        if (grab.keycode == keycode && grab.modifiers == pressed) {
            dispatch(grab.id);
            break;
        }
    }
    return true;
}

void X11HotKeyService::dispatch(EventHotKeyID id) {
    // A copy: a handler may install another handler or unregister keys while it runs.
    const auto handlers = handlers_;
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) {
        if ((*it)(id) == kNoErr) {
            return;
        }
    }
}

}  // namespace tallowmere
