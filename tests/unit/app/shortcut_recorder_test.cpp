#include "shortcuts/shortcut_recorder.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/sim/sim_hot_key_service.h"
#include "platform/sim/sim_keyboard_grab.h"
#include "platform/sim/sim_local_key_monitor.h"
#include "platform/sim/sim_preferences_store.h"

namespace tallowmere {
namespace {

constexpr std::uint32_t kShift = 0x20000;
constexpr std::uint32_t kControl = 0x40000;
constexpr std::uint32_t kOption = 0x80000;
constexpr std::uint32_t kCommand = 0x100000;
constexpr std::uint32_t kCapsLock = 0x10000;

const ShortcutSpec kControlOptionR{15, 0x1800, "⌃⌥R"};

class ShortcutRecorderTest : public ::testing::Test {
  protected:
    ShortcutRecorderTest() {
        recorder.setChangeCallback([this] { ++changes; });
    }

    // The user types a key; true when it reached the focused window.
    bool type(std::uint16_t keyCode, std::uint32_t flags, const char* characters) {
        return keys.type(KeyEvent{keyCode, flags, characters}).has_value();
    }

    sim::SimPreferencesStore store;
    AppSettings settings{store};
    sim::SimHotKeyService service;
    HotKeyCenter center{service};
    sim::SimLocalKeyMonitor keys;
    sim::SimKeyboardGrab keyboard;
    ShortcutRecorder recorder{ShortcutBinding::manualRealign(settings), keys, center, keyboard};
    int changes = 0;
};

// Every way a recording ends frees the keyboard and the keys and keeps, replaces or clears the
// shortcut. A combination is stored with its Carbon mask and display string, after a probe that
// took an id and was undone. Meanwhile keys without a modifier are swallowed and touch nothing.
TEST_F(ShortcutRecorderTest, EveryWayOutOfRecordingFreesTheKeyboardAndSettlesTheShortcut) {
    service.holdElsewhere(17, 0x1800);
    struct Way {
        const char* name;
        std::optional<KeyEvent> key;
        std::optional<ShortcutSpec> stored;
        bool refused = false;
        std::function<void()> act = nullptr;  // when no key
    };
    const Way ways[] = {
        {"Escape", KeyEvent{53, 0, "\x1b"}, kControlOptionR},
        {"⌘Escape", KeyEvent{53, kCommand, "\x1b"}, kControlOptionR},
        {"⇧A", KeyEvent{0, kShift, "a"}, ShortcutSpec{0, 0x0200, "⇧A"}},
        {"⌃⌥⇧⌘R", KeyEvent{15, kCommand | kShift | kOption | kControl, "r"},
         ShortcutSpec{15, 0x1B00, "⌃⌥⇧⌘R"}},
        {"⇧1, caps lock on", KeyEvent{18, kShift | kCapsLock, "1"}, ShortcutSpec{18, 0x0200, "⇧1"}},
        {"⌃F1, no characters", KeyEvent{122, kControl, ""}, ShortcutSpec{122, 0x1000, "⌃?"}},
        {"refused", KeyEvent{17, kControl | kOption, "t"}, kControlOptionR, true},
        {"cancel button", std::nullopt, kControlOptionR, false, [&] { recorder.toggle(); }},
        {"clear button", std::nullopt, std::nullopt, false, [&] { recorder.clear(); }},
        {"window hiding", std::nullopt, kControlOptionR, false,
         [&] { recorder.fieldDisappeared(); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        settings.setManualRealignShortcut(kControlOptionR);
        const std::uint32_t id = center.nextId();
        recorder.toggle();
        EXPECT_EQ(recorder.errorMessage(), std::nullopt);  // an earlier refusal's is gone
        EXPECT_FALSE(type(0, 0, "a"));
        EXPECT_FALSE(type(0, kCapsLock, "a"));
        EXPECT_TRUE(keyboard.isGrabbed()) << "a key without modifiers ended the grab";
        EXPECT_EQ(recorder.keyBoxText(), "キーを入力…");
        EXPECT_EQ(recorder.recordButtonTitle(), "キャンセル");
        EXPECT_EQ(recorder.keyBoxToolTip(), "Escでキャンセル");
        EXPECT_EQ(settings.manualRealignShortcut(), kControlOptionR);
        const int before = changes;
        if (way.key) {
            EXPECT_FALSE(keys.type(*way.key).has_value()) << "the key reached the window";
        } else {
            way.act();
        }
        EXPECT_GT(changes, before);
        EXPECT_FALSE(keyboard.isGrabbed());
        EXPECT_EQ(keys.liveMonitorCount(), 0u);
        EXPECT_EQ(AppSettings(store).manualRealignShortcut(), way.stored);
        EXPECT_EQ(recorder.keyBoxText(), way.stored ? way.stored->displayString : "未設定");
        EXPECT_EQ(recorder.recordButtonTitle(), "記録...");
        EXPECT_EQ(recorder.keyBoxToolTip(), std::nullopt);
        EXPECT_EQ(recorder.keyBoxUsesPrimaryColor(), way.stored.has_value());
        EXPECT_EQ(recorder.showsClearButton(), way.stored.has_value());
        EXPECT_EQ(recorder.errorMessage().value_or("none"),
                  way.refused ? "このキーの組み合わせは他のアプリと衝突しているため使用できません"
                              : "none");
        const bool probed = way.key && way.key->keyCode != 53;
        EXPECT_EQ(center.nextId(), id + (probed ? 1 : 0));
        EXPECT_TRUE(service.registrations().empty());
        EXPECT_TRUE(type(17, kControl | kOption, "t"));
        EXPECT_EQ(settings.manualRealignShortcut(), way.stored);
    }
    {
        SCOPED_TRACE("the program quitting");
        ShortcutRecorder other(ShortcutBinding::manualCenterRealign(settings), keys, center,
                               keyboard);
        other.toggle();
        EXPECT_TRUE(keyboard.isGrabbed());
    }
    EXPECT_FALSE(keyboard.isGrabbed());
}

TEST_F(ShortcutRecorderTest, AKeyboardHeldElsewhereLeavesTheFieldIdleWithAMessage) {
    settings.setManualRealignShortcut(kControlOptionR);
    keyboard.holdElsewhere(true);
    recorder.toggle();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorder.errorMessage(), "他のアプリがキーボードを使用中のため記録できません");
    EXPECT_EQ(recorder.keyBoxText(), "⌃⌥R");
    EXPECT_TRUE(type(17, kControl | kOption, "t"));

    keyboard.holdElsewhere(false);
    recorder.toggle();
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.errorMessage(), std::nullopt);
}

}  // namespace
}  // namespace tallowmere
