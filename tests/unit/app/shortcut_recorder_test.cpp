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

TEST_F(ShortcutRecorderTest, RecordsTheCombinationWithItsCarbonMaskAndDisplayString) {
    struct Case {
        std::uint16_t keyCode;
        std::uint32_t flags;
        std::string characters;
        std::uint32_t carbon;
        std::string display;
    };
    const std::vector<Case> cases = {
        {0, kShift, "a", 0x0200, "⇧A"},
        {40, kControl | kOption | kCommand, "k", 0x1900, "⌃⌥⌘K"},
        {15, kCommand | kShift | kOption | kControl, "r", 0x1B00, "⌃⌥⇧⌘R"},
        {18, kShift | kCapsLock, "1", 0x0200, "⇧1"},
        {122, kControl, "", 0x1000, "⌃?"},  // F1 has no characters
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.display);
        recorder.toggle();
        EXPECT_FALSE(type(c.keyCode, c.flags, c.characters));

        EXPECT_FALSE(recorder.isRecording());
        const ShortcutSpec expected{c.keyCode, c.carbon, c.display};
        EXPECT_EQ(settings.manualRealignShortcut(), expected);
        EXPECT_EQ(recorder.keyBoxText(), c.display);
        EXPECT_TRUE(recorder.keyBoxUsesPrimaryColor());
        EXPECT_TRUE(recorder.showsClearButton());
        // The probe is undone, and the field listens to keys no more.
        EXPECT_TRUE(service.registrations().empty());
        EXPECT_TRUE(type(0, kShift, "a"));
    }
    // Each recording probed once, each probe took an id.
    EXPECT_EQ(center.nextId(), 6u);
    EXPECT_TRUE(store.contents().contains("manualRealignShortcut"));
}

// Every way a recording ends: the keyboard and the keys are free again, and the shortcut is kept,
// replaced or cleared.
TEST_F(ShortcutRecorderTest, EveryWayOutOfRecordingFreesTheKeyboardAndSettlesTheShortcut) {
    service.holdElsewhere(17, 0x1800);
    const ShortcutSpec shiftA{0, 0x0200, "⇧A"};
    const std::string conflict = "このキーの組み合わせは他のアプリと衝突しているため使用できません";
    struct Way {
        const char* name;
        std::function<void()> leave;
        std::optional<ShortcutSpec> stored;
        std::optional<std::string> error;
        bool probes;
    };
    const Way ways[] = {
        {"Escape", [&] { EXPECT_FALSE(type(53, 0, "\x1b")); }, kControlOptionR, {}, false},
        {"Escape with command",
         [&] { EXPECT_FALSE(type(53, kCommand, "\x1b")); },
         kControlOptionR,
         {},
         false},
        {"Escape with control and shift",
         [&] { EXPECT_FALSE(type(53, kControl | kShift, "\x1b")); },
         kControlOptionR,
         {},
         false},
        {"a recorded combination", [&] { type(0, kShift, "a"); }, shiftA, {}, true},
        {"a refused combination", [&] { EXPECT_FALSE(type(17, kControl | kOption, "t")); },
         kControlOptionR, conflict, true},
        {"the cancel button", [&] { recorder.toggle(); }, kControlOptionR, {}, false},
        {"the clear button", [&] { recorder.clear(); }, std::nullopt, {}, false},
        {"the window hiding", [&] { recorder.fieldDisappeared(); }, kControlOptionR, {}, false},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        settings.setManualRealignShortcut(kControlOptionR);
        service.clearOperations();
        recorder.toggle();
        EXPECT_TRUE(recorder.isRecording());
        EXPECT_EQ(recorder.errorMessage(), std::nullopt);  // an earlier refusal's is gone
        EXPECT_TRUE(keyboard.isGrabbed());
        type(0, 0, "a");
        EXPECT_TRUE(keyboard.isGrabbed()) << "a key without modifiers ended the grab";
        const int before = changes;
        way.leave();
        EXPECT_FALSE(recorder.isRecording());
        EXPECT_GT(changes, before);
        EXPECT_FALSE(keyboard.isGrabbed());
        EXPECT_EQ(keys.liveMonitorCount(), 0u);
        EXPECT_EQ(settings.manualRealignShortcut(), way.stored);
        EXPECT_EQ(recorder.keyBoxText(), way.stored ? way.stored->displayString : "未設定");
        EXPECT_EQ(recorder.showsClearButton(), way.stored.has_value());
        EXPECT_EQ(recorder.errorMessage(), way.error);
        EXPECT_EQ(service.operations().empty(), !way.probes);
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
