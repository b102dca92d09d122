#include "shortcuts/global_hot_key.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_hot_key_service.h"
#include "platform/sim/sim_preferences_store.h"
#include "shortcuts/shortcut_hot_keys.h"

namespace tallowmere {
namespace {

using Op = sim::SimHotKeyService::Operation;

constexpr std::uint32_t kR = 15;  // kVK_ANSI_R
constexpr std::uint32_t kT = 17;  // kVK_ANSI_T
constexpr std::uint32_t kControlOption = 0x1800;
// "TLHK": 'T' 0x54, 'L' 0x4C, 'H' 0x48, 'K' 0x4B.
constexpr std::uint32_t kTLHK = 0x544C484B;

const ShortcutSpec kControlOptionR{kR, kControlOption, "⌃⌥R"};
const ShortcutSpec kControlOptionT{kT, kControlOption, "⌃⌥T"};

class ShortcutHotKeysTest : public ::testing::Test {
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

TEST_F(ShortcutHotKeysTest, BothShortcutsAtStartUpTakeIdsOneAndTwoRunTheirCommandsAndGoAtTheEnd) {
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

TEST_F(ShortcutHotKeysTest, IdsAdvanceAcrossReassignmentClearingProbesAndRefusalsOnlyLiveOnesAct) {
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
TEST_F(ShortcutHotKeysTest, AStoredShortcutWithoutAModifierIsReportedOnceAndNeverRegistered) {
    constexpr std::uint32_t kA = 0;  // kVK_ANSI_A
    settings.setManualRealignShortcut(ShortcutSpec{kA, 0, "A"});
    // Caps lock (0x0400) is no modifier of a shortcut either.
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
    // The value stays stored, as a refused combination's does.
    EXPECT_EQ(settings.manualRealignShortcut(), (ShortcutSpec{kA, 0, "A"}));

    // Shift alone is a modifier: the recorder records ⇧A, so a stored ⇧R is registered.
    settings.setManualRealignShortcut(ShortcutSpec{kR, 0x0200, "⇧R"});
    EXPECT_EQ(service.press(kR, 0x0200), kNoErr);
    EXPECT_EQ(realigns.size(), 1u);
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_TRUE(diagnostics.lines.empty());
}

TEST_F(ShortcutHotKeysTest, AFailedHandlerInstallationIsTriedAgainByTheNextRegistration) {
    settings.setManualRealignShortcut(kControlOptionR);
    service.failInstall(-50);
    startShell();
    EXPECT_EQ(service.installedHandlerCount(), 0u);
    EXPECT_EQ(service.registrations().size(), 1u);  // registered, but its presses reach nobody

    service.failInstall(std::nullopt);
    settings.setManualRealignShortcut(kControlOptionR);
    EXPECT_EQ(service.installedHandlerCount(), 1u);
    EXPECT_EQ(service.press(kR, kControlOption), kNoErr);
    EXPECT_EQ(realigns.size(), 1u);
    // Installed once, it is never installed again.
    settings.setManualRealignShortcut(kControlOptionR);
    EXPECT_EQ(service.installedHandlerCount(), 1u);
}

}  // namespace
}  // namespace tallowmere
