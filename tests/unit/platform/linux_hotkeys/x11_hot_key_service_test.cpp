#include "platform/linux/hotkeys/x11_hot_key_service.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "display_session.h"
#include "probe.h"

namespace tallowmere {
namespace {

// X keycodes on Xvfb's evdev keymap (evdev + 8): KEY_LEFTCTRL 29, KEY_LEFTALT 56, KEY_R 19,
// KEY_T 20, KEY_NUMLOCK 69.
constexpr std::uint8_t kControlL = 37;
constexpr std::uint8_t kAltL = 64;
constexpr std::uint8_t kR = 27;
constexpr std::uint8_t kT = 28;
constexpr std::uint8_t kNumLock = 77;
constexpr std::uint8_t kCapsLock = 66;
// X masks: Control 0x04 | Mod1 0x08; Lock 0x02; Num_Lock sits on Mod2 (0x10) in Xvfb's keymap.
constexpr std::uint16_t kXControlAlt = 0x0C;
constexpr std::uint16_t kXNumLock = 0x10;
constexpr std::uint16_t kAllLockVariants[] = {
    kXControlAlt, kXControlAlt | 0x02, kXControlAlt | kXNumLock, kXControlAlt | kXNumLock | 0x02};

// Stored form: kVK_ANSI_R 15, kVK_ANSI_T 17, control 0x1000 | option 0x0800.
constexpr std::uint32_t kVirtualR = 15;
constexpr std::uint32_t kVirtualT = 17;
constexpr std::uint32_t kControlOption = 0x1800;
constexpr std::uint32_t kSignature = 0x544C484B;

struct Client : kit::Probe {
    using kit::Probe::Probe;

    bool grab(std::uint8_t keycode, std::uint16_t mask) const {
        return !kit::own(xcb_request_check(
            conn(), xcb_grab_key_checked(conn(), 0, root(), mask, keycode, XCB_GRAB_MODE_ASYNC,
                                         XCB_GRAB_MODE_ASYNC)));
    }
    bool grabAllVariants(std::uint8_t keycode) const {
        bool all = true;
        for (const std::uint16_t mask : kAllLockVariants) {
            all = grab(keycode, mask) && all;
        }
        return all;
    }
    void ungrabAll(std::uint8_t keycode) const {
        xcb_ungrab_key(conn(), keycode, root(), XCB_MOD_MASK_ANY);
        sync();
    }
    // Presses (true) and releases (false) through XTest, as a keyboard would.
    void keys(const std::vector<std::pair<std::uint8_t, bool>>& strokes) const {
        for (const auto& [keycode, down] : strokes) {
            xcb_test_fake_input(conn(), down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode,
                                XCB_CURRENT_TIME, root(), 0, 0, 0);
        }
        sync();
    }
    void pressControlAltR() const {
        keys({{kControlL, true},
              {kAltL, true},
              {kR, true},
              {kR, false},
              {kAltL, false},
              {kControlL, false}});
    }
};

class X11HotKeyServiceTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server = new kit::DisplaySession(""); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(server->display().has_value()) << "Xvfb did not start";
        ours = std::make_unique<Client>(*server->display());
        other = std::make_unique<Client>(*server->display());
        ASSERT_EQ(xcb_connection_has_error(ours->conn()), 0);
        ASSERT_EQ(xcb_connection_has_error(other->conn()), 0);
        service = std::make_unique<X11HotKeyService>(ours->conn(), ours->root());
        service->installPressHandler([this](EventHotKeyID id) {
            presses.push_back(id.id);
            return kNoErr;
        });
    }

    // Feeds our connection's events to the service until `done` holds; false after 10 s
    // without any event.
    bool pumpUntil(const std::function<bool()>& done) {
        while (!done()) {
            if (xcb_generic_event_t* event = xcb_poll_for_event(ours->conn())) {
                const std::uint8_t type = event->response_type & 0x7f;
                if (type == XCB_KEY_RELEASE) {
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
    std::size_t releasesOf(std::uint8_t keycode) const {
        return static_cast<std::size_t>(std::count(releases.begin(), releases.end(), keycode));
    }

    static inline kit::DisplaySession* server = nullptr;
    std::unique_ptr<Client> ours;
    std::unique_ptr<Client> other;
    std::unique_ptr<X11HotKeyService> service;
    std::vector<std::uint32_t> presses;
    std::vector<std::uint8_t> releases;
};

TEST_F(X11HotKeyServiceTest, AGrabbedCombinationFiresOncePerPressWhateverTheLockState) {
    EXPECT_EQ(service->numLockMask(), kXNumLock);
    const auto result = service->registerHotKey(kVirtualR, kControlOption, {kSignature, 7});
    ASSERT_EQ(result.status, kNoErr);
    ASSERT_NE(result.ref, nullptr);

    // With NumLock or Caps Lock on, or both, the press carries their bits and must still be seen.
    const std::vector<std::vector<std::uint8_t>> lockStates = {
        {}, {kNumLock}, {kCapsLock}, {kNumLock, kCapsLock}};
    std::size_t expected = 0;
    for (const auto& locks : lockStates) {
        SCOPED_TRACE(locks.size());
        for (std::uint8_t lock : locks) {
            other->keys({{lock, true}, {lock, false}});
        }
        other->pressControlAltR();
        ++expected;
        ASSERT_TRUE(pumpUntil([&] { return releasesOf(kR) >= expected; }));
        for (std::uint8_t lock : locks) {
            other->keys({{lock, true}, {lock, false}});
        }
    }
    EXPECT_EQ(presses, std::vector<std::uint32_t>(4, 7));
}

// Moves a key from one row of the modifier map to a free slot of another; false when it is not in
// the first, the second has no free slot or the server refuses.
bool moveModifierKey(const Client& client, std::uint8_t keycode, std::size_t fromRow,
                     std::size_t toRow) {
    const auto reply = kit::own(xcb_get_modifier_mapping_reply(
        client.conn(), xcb_get_modifier_mapping(client.conn()), nullptr));
    if (!reply) {
        return false;
    }
    const std::size_t perRow = reply->keycodes_per_modifier;
    std::vector<xcb_keycode_t> map(xcb_get_modifier_mapping_keycodes(reply.get()),
                                   xcb_get_modifier_mapping_keycodes(reply.get()) + 8 * perRow);
    const auto from = std::span(map).subspan(fromRow * perRow, perRow);
    const auto to = std::span(map).subspan(toRow * perRow, perRow);
    const auto key = std::ranges::find(from, keycode);
    const auto slot = std::ranges::find(to, 0);
    if (key == from.end() || slot == to.end()) {
        return false;
    }
    *key = 0;
    *slot = keycode;
    const auto set = kit::own(xcb_set_modifier_mapping_reply(
        client.conn(),
        xcb_set_modifier_mapping(client.conn(), static_cast<std::uint8_t>(perRow), map.data()),
        nullptr));
    return set && set->status == XCB_MAPPING_STATUS_SUCCESS;
}

TEST_F(X11HotKeyServiceTest, GrabsFollowNumLockToItsNewModifier) {
    ASSERT_EQ(service->registerHotKey(kVirtualR, kControlOption, {kSignature, 5}).status, kNoErr);
    // Rows: Shift 0, Lock 1, Control 2, Mod1 3, Mod2 4, Mod3 5.
    ASSERT_TRUE(moveModifierKey(*other, kNumLock, 4, 5));
    const bool moved = pumpUntil([&] { return service->numLockMask() == 0x20; });

    other->keys({{kNumLock, true}, {kNumLock, false}});
    other->pressControlAltR();
    const bool released = pumpUntil([&] { return releasesOf(kR) >= 1; });
    other->keys({{kNumLock, true}, {kNumLock, false}});
    EXPECT_TRUE(moveModifierKey(*other, kNumLock, 5, 4));

    EXPECT_TRUE(moved);
    EXPECT_TRUE(released);
    EXPECT_EQ(presses, std::vector<std::uint32_t>{5});
}

TEST_F(X11HotKeyServiceTest, AHeldKeyRepeatsWithoutFiringAgain) {
    ASSERT_TRUE(service->detectableAutoRepeat());
    ASSERT_EQ(service->registerHotKey(kVirtualR, kControlOption, {kSignature, 4}).status, kNoErr);
    // What a held ⌃⌥R sends with detectable auto-repeat: presses until the one release.
    const auto key = [&](std::uint8_t type, xcb_timestamp_t time, xcb_window_t window) {
        xcb_key_press_event_t event{};
        event.response_type = type;
        event.detail = kR;
        event.time = time;
        event.root = ours->root();
        event.event = window;
        event.state = kXControlAlt | kXNumLock;
        return service->handleEvent(reinterpret_cast<const xcb_generic_event_t*>(&event));
    };
    const std::uint8_t press = XCB_KEY_PRESS;
    const std::uint8_t release = XCB_KEY_RELEASE;
    EXPECT_TRUE(key(press, 1000, ours->root()));
    EXPECT_TRUE(key(press, 1500, ours->root()));
    EXPECT_TRUE(key(press, 1540, ours->root()));
    EXPECT_TRUE(key(release, 1560, ours->root()));
    EXPECT_EQ(presses, std::vector<std::uint32_t>{4});
    EXPECT_TRUE(key(press, 2000, ours->root()));
    EXPECT_EQ(presses, (std::vector<std::uint32_t>{4, 4}));
    // A key event for some other window is not the service's.
    EXPECT_FALSE(key(release, 2100, ours->root() + 1));
}

TEST_F(X11HotKeyServiceTest, ACombinationHeldElsewhereIsRefusedAndNoVariantStaysGrabbed) {
    // Another client holds only the NumLock variant, so the plain variants are granted first.
    ASSERT_TRUE(other->grab(kT, kXControlAlt | kXNumLock));
    const auto result = service->registerHotKey(kVirtualT, kControlOption, {kSignature, 1});
    EXPECT_EQ(result.status, kEventHotKeyExistsErr);
    EXPECT_EQ(result.ref, nullptr);

    other->ungrabAll(kT);
    Client third(*server->display());
    EXPECT_TRUE(third.grabAllVariants(kT));
}

TEST_F(X11HotKeyServiceTest, UnregisteringOrDestroyingReleasesTheCombination) {
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
    EXPECT_TRUE(other->grabAllVariants(kR));
    other->ungrabAll(kR);

    ASSERT_EQ(service->registerHotKey(kVirtualT, kControlOption, {kSignature, 3}).status, kNoErr);
    service.reset();
    ours->sync();
    EXPECT_TRUE(other->grabAllVariants(kT));
}

TEST_F(X11HotKeyServiceTest, CombinationsWithoutAnXEquivalentAreRefused) {
    struct Case {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
    };
    // kVK_Function 63 has no key of its own on X; 0x0400 is Carbon's caps-lock bit; a bare key
    // would be taken from every application.
    for (const Case c : {Case{63, kControlOption}, Case{kVirtualR, 0x0400 | kControlOption},
                         Case{0xFFFF, kControlOption}, Case{kVirtualR, 0}}) {
        EXPECT_EQ(service->registerHotKey(c.keyCode, c.modifiers, {kSignature, 1}).status,
                  kEventHotKeyExistsErr);
    }
    EXPECT_TRUE(other->grab(kR, 0));
    EXPECT_TRUE(other->grabAllVariants(kR));
}

}  // namespace
}  // namespace tallowmere
