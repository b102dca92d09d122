#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_hot_key_service.h"
#include "platform/sim/sim_keyboard_grab.h"
#include "platform/sim/sim_local_key_monitor.h"
#include "platform/sim/sim_preferences_store.h"
#include "shortcuts/global_hot_key.h"
#include "shortcuts/shortcut_hot_keys.h"
#include "shortcuts/shortcut_recorder.h"

namespace tallowmere {
namespace {

using Op = sim::SimHotKeyService::Operation;

constexpr std::uint32_t kR = 15;  // kVK_ANSI_R
constexpr std::uint32_t kT = 17;  // kVK_ANSI_T
constexpr std::uint32_t kControlOption = 0x1800;
// "TLHK": 'T' 0x54, 'L' 0x4C, 'H' 0x48, 'K' 0x4B.
constexpr std::uint32_t kTLHK = 0x544C484B;
// The key events' flags.
constexpr std::uint32_t kShift = 0x20000;
constexpr std::uint32_t kControl = 0x40000;
constexpr std::uint32_t kOption = 0x80000;
constexpr std::uint32_t kCommand = 0x100000;
constexpr std::uint32_t kCapsLock = 0x10000;

const ShortcutSpec kControlOptionR{kR, kControlOption, "⌃⌥R"};
const ShortcutSpec kControlOptionT{kT, kControlOption, "⌃⌥T"};

class ShortcutsTest : public ::testing::Test {
  protected:
    void startShell() {
        shell = std::make_unique<ShortcutHotKeys>(
            center, settings, diagnostics, [this](AlignmentAnchor a) { realigns.push_back(a); },
            [this](std::string_view line) { reports.emplace_back(line); });
        shell->subscribe();
    }

    sim::SimPreferencesStore store;
    AppSettings settings{store};
    sim::SimHotKeyService service;
    HotKeyCenter center{service};
    CapturingDiagnosticSink diagnostics;
    std::vector<AlignmentAnchor> realigns;
    std::vector<std::string> reports;
    std::unique_ptr<ShortcutHotKeys> shell;
};

TEST_F(ShortcutsTest, BothShortcutsAtStartUpTakeIdsOneAndTwoRunTheirCommandsAndGoAtTheEnd) {
    settings.setManualRealignShortcut(kControlOptionR);
    settings.setManualCenterRealignShortcut(kControlOptionT);
    service.clearOperations();
    startShell();

    const std::vector<Op> expected = {
        {"install"}, {"register", kR, kControlOption, 1}, {"register", kT, kControlOption, 2}};
    EXPECT_EQ(service.operations(), expected);
    ASSERT_EQ(service.registrations().size(), 2u);
    EXPECT_EQ(service.registrations()[0].id.signature, kTLHK);

    // The realign key follows the anchor in force at the press, without re-registering.
    EXPECT_EQ(service.press(kR, kControlOption), kNoErr);
    settings.setAlignmentAnchor(AlignmentAnchor::screenCenter);
    EXPECT_EQ(service.press(kR, kControlOption), kNoErr);
    settings.setAlignmentAnchor(AlignmentAnchor::windowCentroid);
    EXPECT_EQ(service.press(kT, kControlOption), kNoErr);
    EXPECT_EQ(realigns, (std::vector{AlignmentAnchor::windowCentroid, AlignmentAnchor::screenCenter,
                                     AlignmentAnchor::screenCenter}));
    EXPECT_EQ(service.registrations().size(), 2u);

    // Termination releases realign, then center, and leaves nothing behind.
    service.clearOperations();
    shell->release();
    EXPECT_EQ(service.operations(), (std::vector<Op>{{"unregister", kR, kControlOption, 1},
                                                     {"unregister", kT, kControlOption, 2}}));
    EXPECT_EQ(service.press(kR, kControlOption), std::nullopt);

    // Once the shell is gone, settings changes register nothing.
    shell.reset();
    settings.setManualRealignShortcut(kControlOptionR);
    EXPECT_TRUE(service.registrations().empty());
    EXPECT_EQ(center.handlerCount(), 0u);
}

TEST_F(ShortcutsTest, IdsAdvanceAcrossReassignmentClearingProbesAndRefusalsOnlyLiveOnesAct) {
    settings.setManualRealignShortcut(std::nullopt);
    startShell();
    // With both shortcuts none, not even the handler is installed.
    EXPECT_TRUE(service.operations().empty());
    EXPECT_EQ(service.installedHandlerCount(), 0u);

    settings.setManualRealignShortcut(kControlOptionR);  // id 1
    settings.setManualRealignShortcut(kControlOptionR);  // the same again: id 2
    settings.setManualRealignShortcut(std::nullopt);     // released at once

    EXPECT_TRUE(GlobalHotKey::probe(center, kT, kControlOption));  // id 3
    service.holdElsewhere(kT, kControlOption);
    settings.setManualRealignShortcut(kControlOptionT);  // refused: id 4
    EXPECT_EQ(settings.manualRealignShortcut(), kControlOptionT);
    settings.setManualRealignShortcut(kControlOptionR);  // id 5

    const std::vector<Op> expected = {
        {"install"},
        {"register", kR, kControlOption, 1},
        {"unregister", kR, kControlOption, 1},
        {"register", kR, kControlOption, 2},
        {"unregister", kR, kControlOption, 2},
        {"register", kT, kControlOption, 3},
        {"unregister", kT, kControlOption, 3},
        {"refused", kT, kControlOption, 4},
        {"register", kR, kControlOption, 5},
    };
    EXPECT_EQ(service.operations(), expected);
    EXPECT_EQ(diagnostics.lines,
              std::vector<std::string>{"グローバルショートカットの登録に失敗しました: ⌃⌥T"});
    EXPECT_EQ(center.handlerCount(), 1u);
    // Presses for forgotten ids are handled and do nothing; the id alone finds the handler.
    EXPECT_EQ(service.deliver({kTLHK, 1}), kNoErr);
    EXPECT_EQ(service.deliver({kTLHK, 99}), kNoErr);
    EXPECT_TRUE(realigns.empty());
    EXPECT_EQ(service.deliver({0, 5}), kNoErr);
    EXPECT_EQ(realigns.size(), 1u);
}

// Typing "banana" in a terminal once arrived as "bnn": a hand-edited bare A was grabbed globally.
// Caps lock (0x0400) is no modifier of a shortcut either; shift alone is, as the recorder records
// ⇧A. A handler that failed to install is tried again by the next registration, and only then.
TEST_F(ShortcutsTest, AShortcutWithoutAModifierIsNeverRegisteredAFailedHandlerIsRetried) {
    constexpr std::uint32_t kA = 0;  // kVK_ANSI_A
    settings.setManualRealignShortcut(ShortcutSpec{kA, 0, "A"});
    settings.setManualCenterRealignShortcut(ShortcutSpec{kT, 0x0400, "T"});
    startShell();
    EXPECT_TRUE(service.registrations().empty());
    const std::string why =
        " has no modifier key, so it is not registered: it would take that key from every "
        "application; record it again in the settings";
    EXPECT_EQ(reports,
              (std::vector<std::string>{
                  "tallowmere: the stored 再整頓 shortcut \"A\" (key code 0)" + why,
                  "tallowmere: the stored 中央に再整頓 shortcut \"T\" (key code 17)" + why}));
    EXPECT_EQ(settings.manualRealignShortcut(), (ShortcutSpec{kA, 0, "A"}));

    const ShortcutSpec shiftR{kR, 0x0200, "⇧R"};
    service.failInstall(-50);
    settings.setManualRealignShortcut(shiftR);
    EXPECT_EQ(service.installedHandlerCount(), 0u);
    EXPECT_EQ(service.registrations().size(), 1u);  // registered, but its presses reach nobody
    service.failInstall(std::nullopt);
    settings.setManualRealignShortcut(shiftR);
    settings.setManualRealignShortcut(shiftR);
    EXPECT_EQ(service.installedHandlerCount(), 1u);
    EXPECT_EQ(service.press(kR, 0x0200), kNoErr);
    EXPECT_EQ(realigns.size(), 1u);
    EXPECT_EQ(reports.size(), 2u);
}

// Every way a recording ends frees the keyboard and the keys and keeps, replaces or clears the
// shortcut. A combination is stored with its Carbon mask and display string, after a probe that
// took an id and was undone. Meanwhile keys without a modifier are swallowed and touch nothing.
TEST_F(ShortcutsTest, EveryWayOutOfRecordingFreesTheKeyboardAndSettlesTheShortcut) {
    sim::SimLocalKeyMonitor keys;
    sim::SimKeyboardGrab keyboard;
    ShortcutRecorder recorder{ShortcutBinding::manualRealign(settings), keys, center, keyboard};
    int changes = 0;
    recorder.setChangeCallback([&] { ++changes; });
    // The user types a key; true when it reached the focused window.
    const auto type = [&](std::uint16_t keyCode, std::uint32_t flags, const char* characters) {
        return keys.type(KeyEvent{keyCode, flags, characters}).has_value();
    };
    settings.setManualRealignShortcut(kControlOptionR);
    keyboard.holdElsewhere(true);
    recorder.toggle();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorder.errorMessage(), "他のアプリがキーボードを使用中のため記録できません");
    EXPECT_EQ(recorder.keyBoxText(), "⌃⌥R");
    EXPECT_TRUE(type(17, kControl | kOption, "t"));
    keyboard.holdElsewhere(false);

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

}  // namespace
}  // namespace tallowmere
