#include "shortcuts/shortcut_recorder.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_hot_key_service.h"
#include "platform/sim/sim_keyboard_grab.h"
#include "platform/sim/sim_local_key_monitor.h"
#include "platform/sim/sim_preferences_store.h"
#include "shortcuts/shortcut_hot_keys.h"

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
    bool type(std::uint16_t keyCode, std::uint32_t flags, std::string characters) {
        return keys.type(KeyEvent{keyCode, flags, std::move(characters)}).has_value();
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

TEST_F(ShortcutRecorderTest, IdleFieldLetsKeysThroughAndRecordingSwallowsKeysWithoutModifiers) {
    EXPECT_EQ(recorder.keyBoxText(), "未設定");
    EXPECT_FALSE(recorder.keyBoxUsesPrimaryColor());
    EXPECT_EQ(recorder.recordButtonTitle(), "記録...");
    EXPECT_EQ(recorder.keyBoxToolTip(), std::nullopt);
    EXPECT_FALSE(recorder.showsClearButton());
    EXPECT_TRUE(type(0, kShift, "a"));

    recorder.toggle();
    EXPECT_FALSE(type(0, 0, "a"));
    EXPECT_FALSE(type(0, kCapsLock, "a"));
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.keyBoxText(), "キーを入力…");
    EXPECT_EQ(recorder.recordButtonTitle(), "キャンセル");
    EXPECT_EQ(recorder.keyBoxToolTip(), "Escでキャンセル");
    EXPECT_EQ(settings.manualRealignShortcut(), std::nullopt);
    EXPECT_EQ(service.operations().size(), 0u);
}

// Every way a recording ends, a key typed or a button or the window: the keyboard and the keys are
// free again, and the shortcut is kept, replaced or cleared. A combination is stored with its
// Carbon mask and display string, after a probe that took an id and was undone.
TEST_F(ShortcutRecorderTest, EveryWayOutOfRecordingFreesTheKeyboardAndSettlesTheShortcut) {
    service.holdElsewhere(17, 0x1800);
    struct Way {
        const char* name;
        std::optional<KeyEvent> key;
        std::function<void()> act;  // when no key
        std::optional<ShortcutSpec> stored;
        bool refused = false;
    };
    const Way ways[] = {
        {"Escape", KeyEvent{53, 0, "\x1b"}, {}, kControlOptionR},
        {"Escape with command", KeyEvent{53, kCommand, "\x1b"}, {}, kControlOptionR},
        {"Escape with control and shift",
         KeyEvent{53, kControl | kShift, "\x1b"},
         {},
         kControlOptionR},
        {"⇧A", KeyEvent{0, kShift, "a"}, {}, ShortcutSpec{0, 0x0200, "⇧A"}},
        {"⌃⌥⌘K",
         KeyEvent{40, kControl | kOption | kCommand, "k"},
         {},
         ShortcutSpec{40, 0x1900, "⌃⌥⌘K"}},
        {"⌃⌥⇧⌘R",
         KeyEvent{15, kCommand | kShift | kOption | kControl, "r"},
         {},
         ShortcutSpec{15, 0x1B00, "⌃⌥⇧⌘R"}},
        {"⇧1 with caps lock",
         KeyEvent{18, kShift | kCapsLock, "1"},
         {},
         ShortcutSpec{18, 0x0200, "⇧1"}},
        {"⌃F1, which has no characters",
         KeyEvent{122, kControl, ""},
         {},
         ShortcutSpec{122, 0x1000, "⌃?"}},
        {"a refused combination", KeyEvent{17, kControl | kOption, "t"}, {}, kControlOptionR, true},
        {"the cancel button", {}, [&] { recorder.toggle(); }, kControlOptionR},
        {"the clear button", {}, [&] { recorder.clear(); }, std::nullopt},
        {"the window hiding", {}, [&] { recorder.fieldDisappeared(); }, kControlOptionR},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        settings.setManualRealignShortcut(kControlOptionR);
        service.clearOperations();
        const std::uint32_t id = center.nextId();
        recorder.toggle();
        EXPECT_TRUE(recorder.isRecording());
        EXPECT_EQ(recorder.errorMessage(), std::nullopt);  // an earlier refusal's is gone
        EXPECT_TRUE(keyboard.isGrabbed());
        type(0, 0, "a");
        EXPECT_TRUE(keyboard.isGrabbed()) << "a key without modifiers ended the grab";
        const int before = changes;
        if (way.key) {
            EXPECT_FALSE(keys.type(*way.key).has_value()) << "the key reached the window";
        } else {
            way.act();
        }
        EXPECT_FALSE(recorder.isRecording());
        EXPECT_GT(changes, before);
        EXPECT_FALSE(keyboard.isGrabbed());
        EXPECT_EQ(keys.liveMonitorCount(), 0u);
        EXPECT_EQ(settings.manualRealignShortcut(), way.stored);
        EXPECT_EQ(AppSettings(store).manualRealignShortcut(), way.stored);
        EXPECT_EQ(recorder.keyBoxText(), way.stored ? way.stored->displayString : "未設定");
        EXPECT_EQ(recorder.keyBoxUsesPrimaryColor(), way.stored.has_value());
        EXPECT_EQ(recorder.showsClearButton(), way.stored.has_value());
        EXPECT_EQ(recorder.errorMessage(),
                  way.refused
                      ? std::optional<std::string>(
                            "このキーの組み合わせは他のアプリと衝突しているため使用できません")
                      : std::nullopt);
        const bool probed = way.key && way.key->keyCode != 53;
        EXPECT_EQ(center.nextId(), id + (probed ? 1 : 0));
        EXPECT_EQ(service.operations().empty(), !probed);
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
    EXPECT_EQ(keys.liveMonitorCount(), 0u);
    EXPECT_TRUE(type(17, kControl | kOption, "t"));

    keyboard.holdElsewhere(false);
    recorder.toggle();
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.errorMessage(), std::nullopt);
}

TEST_F(ShortcutRecorderTest, ARecordedShortcutBecomesTheLiveHotKey) {
    CapturingDiagnosticSink diagnostics;
    int realigns = 0;
    ShortcutHotKeys shell(center, settings, diagnostics, [&](AlignmentAnchor) { ++realigns; });
    shell.subscribe();

    recorder.toggle();
    EXPECT_FALSE(type(17, kControl | kOption, "t"));

    // Probe id 1, then the shell's registration id 2.
    ASSERT_EQ(service.registrations().size(), 1u);
    EXPECT_EQ(service.registrations()[0].id.id, 2u);
    EXPECT_EQ(service.press(17, 0x1800), kNoErr);
    EXPECT_EQ(realigns, 1);
}

}  // namespace
}  // namespace tallowmere
