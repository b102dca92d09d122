#include "platform/linux/hotkeys/x11_hot_key_service.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "display_session.h"
#include "probe.h"

namespace tallowmere {
namespace {

// X keycodes on Xvfb's evdev keymap (evdev + 8), and X masks: Control 0x04 | Mod1 0x08, Lock 0x02,
// Num_Lock on Mod2 0x10.
constexpr std::uint8_t kControlL = 37, kAltL = 64, kR = 27, kT = 28, kNumLock = 77, kCapsLock = 66;
constexpr std::uint16_t kXControlAlt = 0x0C, kXNumLock = 0x10;
// Stored form: kVK_ANSI_R 15, kVK_ANSI_T 17, control 0x1000 | option 0x0800.
constexpr std::uint32_t kVirtualR = 15, kVirtualT = 17, kControlOption = 0x1800;
constexpr std::uint32_t kSignature = 0x544C484B;

struct Client : kit::Probe {
    using kit::Probe::Probe;

    bool grab(std::uint8_t keycode, std::uint16_t mask) const {
        return !kit::own(xcb_request_check(
            conn(), xcb_grab_key_checked(conn(), 0, root(), mask, keycode, XCB_GRAB_MODE_ASYNC,
                                         XCB_GRAB_MODE_ASYNC)));
    }
    // Every lock variant of ⌃⌥ on keycode, released again: none is held by anyone else.
    bool canGrabAllVariants(std::uint8_t keycode) const {
        bool all = true;
        for (const std::uint16_t locks : {0x00, 0x02, 0x10, 0x12}) {
            all = grab(keycode, kXControlAlt | locks) && all;
        }
        xcb_ungrab_key(conn(), keycode, root(), XCB_MOD_MASK_ANY);
        sync();
        return all;
    }
    // Presses and releases each key in turn through XTest, as a keyboard would.
    void tap(std::initializer_list<std::uint8_t> chord) const {
        for (const std::uint8_t type : {XCB_KEY_PRESS, XCB_KEY_RELEASE}) {
            for (const std::uint8_t keycode : chord) {
                xcb_test_fake_input(conn(), type, keycode, XCB_CURRENT_TIME, root(), 0, 0, 0);
            }
        }
        sync();
    }
};

class X11HotKeyServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // One server for the whole suite; it goes when the process does.
        static kit::DisplaySession server("");
        ASSERT_TRUE(server.display().has_value()) << "Xvfb did not start";
        ours = std::make_unique<Client>(*server.display());
        other = std::make_unique<Client>(*server.display());
        service = std::make_unique<X11HotKeyService>(ours->conn(), ours->root());
        service->installPressHandler([this](EventHotKeyID id) {
            presses.push_back(id.id);
            return kNoErr;
        });
    }

    // Taps ⌃⌥R on the other client and feeds our connection's events to the service until its
    // release reaches us; false after 10 s without any event.
    bool chord() {
        const auto before = std::ranges::count(releases, kR);
        other->tap({kControlL, kAltL, kR});
        while (std::ranges::count(releases, kR) == before) {
            if (xcb_generic_event_t* event = xcb_poll_for_event(ours->conn())) {
                if ((event->response_type & 0x7f) == XCB_KEY_RELEASE) {
                    releases.push_back(reinterpret_cast<xcb_key_release_event_t*>(event)->detail);
                }
                service->handleEvent(event);
                std::free(event);
                continue;
            }
            pollfd ready{xcb_get_file_descriptor(ours->conn()), POLLIN, 0};
            if (poll(&ready, 1, 10000) <= 0) {
                return false;
            }
        }
        return true;
    }

    std::unique_ptr<Client> ours;
    std::unique_ptr<Client> other;
    std::unique_ptr<X11HotKeyService> service;
    std::vector<std::uint32_t> presses;
    std::vector<std::uint8_t> releases;
};

TEST_F(X11HotKeyServiceTest, FiresOncePerPressWhateverTheLocksAndNotWhileTheKeyIsHeld) {
    ASSERT_EQ(service->numLockMask(), kXNumLock);
    ASSERT_EQ(service->registerHotKey(kVirtualR, kControlOption, {kSignature, 7}).status, kNoErr);
    // Toggled in turn: NumLock on, both on, Caps Lock on, both off again.
    for (const std::uint8_t lock : {0, +kNumLock, +kCapsLock, +kNumLock, +kCapsLock}) {
        if (lock != 0) {
            other->tap({lock});
        }
        ASSERT_TRUE(chord()) << int{lock};
    }
    EXPECT_EQ(presses, std::vector<std::uint32_t>(5, 7));

    // What a held key sends with detectable auto-repeat: presses until the one release.
    ASSERT_TRUE(service->detectableAutoRepeat());
    const auto key = [&](std::uint8_t type, xcb_timestamp_t time, xcb_window_t window) {
        const xcb_key_press_event_t event{.response_type = type,
                                          .detail = kR,
                                          .time = time,
                                          .root = ours->root(),
                                          .event = window,
                                          .state = kXControlAlt | kXNumLock};
        return service->handleEvent(reinterpret_cast<const xcb_generic_event_t*>(&event));
    };
    for (const xcb_timestamp_t time : {1000, 1500, 1540}) {
        EXPECT_TRUE(key(XCB_KEY_PRESS, time, ours->root()));
    }
    EXPECT_TRUE(key(XCB_KEY_RELEASE, 1560, ours->root()));
    EXPECT_EQ(presses.size(), 6u);
    EXPECT_TRUE(key(XCB_KEY_PRESS, 2000, ours->root()));
    EXPECT_EQ(presses.size(), 7u);
    // A key event for some other window is not the service's.
    EXPECT_FALSE(key(XCB_KEY_RELEASE, 2100, ours->root() + 1));
}

TEST_F(X11HotKeyServiceTest, RefusedUnregisteredAndDestroyedCombinationsLeaveNoGrabBehind) {
    // Another client holds only the NumLock variant, so the plain variants are granted first.
    ASSERT_TRUE(other->grab(kT, kXControlAlt | kXNumLock));
    const auto held = service->registerHotKey(kVirtualT, kControlOption, {kSignature, 1});
    EXPECT_EQ(held.status, kEventHotKeyExistsErr);
    EXPECT_EQ(held.ref, nullptr);
    ours->sync();  // the rollback's ungrabs reach the server before the other client asks
    EXPECT_TRUE(other->canGrabAllVariants(kT));
    // No X equivalent: kVK_Function 63 has no key of its own, 0x0400 is Carbon's caps-lock bit,
    // 0xFFFF no key at all; and a bare key would be taken from every application.
    const std::pair<std::uint32_t, std::uint32_t> refused[] = {{63, kControlOption},
                                                               {kVirtualR, 0x0400 | kControlOption},
                                                               {0xFFFF, kControlOption},
                                                               {kVirtualR, 0}};
    for (const auto& [keyCode, modifiers] : refused) {
        EXPECT_EQ(service->registerHotKey(keyCode, modifiers, {kSignature, 1}).status,
                  kEventHotKeyExistsErr);
    }
    EXPECT_TRUE(other->grab(kR, 0));
    EXPECT_TRUE(other->canGrabAllVariants(kR));

    const auto first = service->registerHotKey(kVirtualR, kControlOption, {kSignature, 1});
    ASSERT_EQ(first.status, kNoErr);
    EXPECT_FALSE(other->grab(kR, kXControlAlt));
    // Held by this service already: a second registration would share, then lose, the grab.
    EXPECT_EQ(service->registerHotKey(kVirtualR, kControlOption, {kSignature, 2}).status,
              kEventHotKeyExistsErr);
    EXPECT_EQ(service->unregisterHotKey(first.ref), kNoErr);
    EXPECT_NE(service->unregisterHotKey(first.ref), kNoErr);
    // Another client sees the ungrab only once the server has taken our requests.
    ours->sync();
    EXPECT_TRUE(other->canGrabAllVariants(kR));
    ASSERT_EQ(service->registerHotKey(kVirtualT, kControlOption, {kSignature, 3}).status, kNoErr);
    service.reset();
    ours->sync();
    EXPECT_TRUE(other->canGrabAllVariants(kT));
}

}  // namespace
}  // namespace tallowmere
