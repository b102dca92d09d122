#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "settings/app_settings.h"
#include "settings/pref_value_printer.h"

namespace tallowmere {
namespace {

using sim::SimPreferencesStore;
using Operation = SimPreferencesStore::Operation;

const ShortcutSpec kShiftCommandK{40, 0x0200 | 0x0100, "⇧⌘K"};

std::string describeStored(const SimPreferencesStore& store, const char* key) {
    const auto it = store.contents().find(key);
    return it == store.contents().end() ? "absent" : ::testing::PrintToString(it->second);
}

TEST(AppSettingsAssignment, AnnouncesThenDeliversThenTakesThenWrites) {
    SimPreferencesStore store;
    AppSettings settings(store);
    std::vector<std::string> events;
    auto willChange = settings.subscribeWillChange([&] {
        events.push_back("will-change, holding " + std::to_string(settings.windowSpacingMargin()));
    });
    auto spacing = settings.subscribeWindowSpacingMargin([&](const double& value) {
        events.push_back("deliver " + std::to_string(value) + ", holding " +
                         std::to_string(settings.windowSpacingMargin()) + ", stored " +
                         describeStored(store, "windowSpacingMargin"));
    });
    settings.setWindowSpacingMargin(35);
    EXPECT_EQ(events, (std::vector<std::string>{
                          "deliver 20.000000, holding 20.000000, stored absent",
                          "will-change, holding 20.000000",
                          "deliver 35.000000, holding 20.000000, stored absent",
                      }));
    EXPECT_EQ(settings.windowSpacingMargin(), 35.0);
    EXPECT_EQ(store.contents().at("windowSpacingMargin"), PrefValue(35.0));
}

TEST(AppSettingsAssignment, EveryPropertyIsWrittenByTheRuleOfItsType) {
    SimPreferencesStore store;
    AppSettings settings(store);
    store.clearLog();
    settings.setMonitoredBundleIdentifiers({"XTerm", "Emacs", "XTerm"});
    settings.setPausedBundleIdentifiers({"Emacs"});
    settings.setWindowSpacingMargin(-4);
    settings.setAlwaysOpenNewWindowOnRight(false);
    settings.setAnimationEasing(EasingFunction::easeInOut);
    settings.setAnimationDuration(0);
    settings.setShowFlashOverlay(true);
    settings.setManualRealignShortcut(kShiftCommandK);
    settings.setAlignmentAnchor(AlignmentAnchor::screenCenter);
    settings.setManualCenterRealignShortcut(kShiftCommandK);
    settings.setManualRealignShortcut(std::nullopt);
    const PrefData encoded = *encodeShortcut(kShiftCommandK);
    EXPECT_EQ(
        store.log(),
        (std::vector{
            Operation::set("monitoredBundleIdentifiers", PrefArray{"XTerm", "Emacs", "XTerm"}),
            Operation::set("pausedBundleIdentifiers", PrefArray{"Emacs"}),
            Operation::set("windowSpacingMargin", -4.0),
            Operation::set("alwaysOpenNewWindowOnRight", false),
            Operation::set("animationEasing", "easeInOut"),
            Operation::set("animationDuration", 0.0),
            Operation::set("showFlashOverlay", true),
            Operation::set("manualRealignShortcut", encoded),
            Operation::set("alignmentAnchor", "screenCenter"),
            Operation::set("manualCenterRealignShortcut", encoded),
            Operation::remove("manualRealignShortcut"),
        }));

    // What was written is what a fresh start reads back.
    const AppSettings reloaded(store);
    EXPECT_EQ(reloaded.monitoredBundleIdentifiers(), settings.monitoredBundleIdentifiers());
    EXPECT_EQ(reloaded.pausedBundleIdentifiers(), settings.pausedBundleIdentifiers());
    EXPECT_EQ(reloaded.windowSpacingMargin(), -4.0);
    EXPECT_FALSE(reloaded.alwaysOpenNewWindowOnRight());
    EXPECT_EQ(reloaded.animationEasing(), EasingFunction::easeInOut);
    EXPECT_EQ(reloaded.animationDuration(), 0.0);
    EXPECT_TRUE(reloaded.showFlashOverlay());
    EXPECT_EQ(reloaded.manualRealignShortcut(), std::nullopt);
    EXPECT_EQ(reloaded.alignmentAnchor(), AlignmentAnchor::screenCenter);
    EXPECT_EQ(reloaded.manualCenterRealignShortcut(), kShiftCommandK);
}

TEST(AppSettingsAssignment, EqualValueStillNotifiesAndRewrites) {
    SimPreferencesStore store;
    AppSettings settings(store);
    std::vector<std::optional<ShortcutSpec>> delivered;
    auto token = settings.subscribeManualRealignShortcut(
        [&](const std::optional<ShortcutSpec>& value) { delivered.push_back(value); });
    store.clearLog();
    settings.setManualRealignShortcut(kShiftCommandK);
    settings.setManualRealignShortcut(kShiftCommandK);
    EXPECT_EQ(delivered, (std::vector<std::optional<ShortcutSpec>>{std::nullopt, kShiftCommandK,
                                                                   kShiftCommandK}));
    const auto write = Operation::set("manualRealignShortcut", *encodeShortcut(kShiftCommandK));
    EXPECT_EQ(store.log(), (std::vector{write, write}));
}

TEST(AppSettingsAssignment, UnencodableShortcutIsHeldButRemovedFromTheStore) {
    SimPreferencesStore store({{"manualRealignShortcut", *encodeShortcut(kShiftCommandK)}});
    AppSettings settings(store);
    const ShortcutSpec broken{40, 0x0100, "\xff"};
    settings.setManualRealignShortcut(broken);
    EXPECT_EQ(settings.manualRealignShortcut(), broken);
    EXPECT_FALSE(store.contents().contains("manualRealignShortcut"));
}

TEST(AppSettingsAssignment, PausingThenResumingLeavesTheStoredArrayWithoutIt) {
    SimPreferencesStore store;
    AppSettings settings(store);
    auto paused = settings.pausedBundleIdentifiers();
    paused.insert("Emacs");
    settings.setPausedBundleIdentifiers(paused);
    paused.insert("XTerm");
    settings.setPausedBundleIdentifiers(paused);
    paused.erase("XTerm");
    settings.setPausedBundleIdentifiers(paused);
    EXPECT_EQ(store.contents().at("pausedBundleIdentifiers"), PrefValue(PrefArray{"Emacs"}));
}

TEST(AppSettingsAssignment, NonFiniteNumbersAreHeldAsGivenButNotLoadedBack) {
    SimPreferencesStore store;
    AppSettings settings(store);
    settings.setWindowSpacingMargin(std::numeric_limits<double>::quiet_NaN());
    settings.setAnimationDuration(std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(settings.windowSpacingMargin()));
    EXPECT_TRUE(std::isinf(settings.animationDuration()));
    const AppSettings reloaded(store);
    EXPECT_EQ(reloaded.windowSpacingMargin(), 20.0);
    EXPECT_EQ(reloaded.animationDuration(), 0.5);
}

TEST(AppSettingsSubscription, StopsWhenCancelledOrDestroyed) {
    SimPreferencesStore store;
    AppSettings settings(store);
    std::vector<bool> kept, cancelled, destroyed;
    auto keep = settings.subscribeShowFlashOverlay([&](const bool& v) { kept.push_back(v); });
    auto cancel =
        settings.subscribeShowFlashOverlay([&](const bool& v) { cancelled.push_back(v); });
    {
        auto scoped =
            settings.subscribeShowFlashOverlay([&](const bool& v) { destroyed.push_back(v); });
    }
    cancel.cancel();
    EXPECT_FALSE(cancel.active());
    settings.setShowFlashOverlay(true);
    EXPECT_EQ(kept, (std::vector{false, true}));
    EXPECT_EQ(cancelled, (std::vector{false}));
    EXPECT_EQ(destroyed, (std::vector{false}));
}

TEST(AppSettingsSubscription, CancellingDuringADeliveryIsSafeAndTakesEffectAtOnce) {
    SimPreferencesStore store;
    AppSettings settings(store);
    std::vector<std::string> calls;
    auto self = std::make_unique<Subscription>();
    Subscription later;
    // The first receiver drops its own token (and with it its own callable) and the next one's.
    *self = settings.subscribeAlignmentAnchor([&, s = std::make_shared<int>(1)](const auto& a) {
        calls.push_back("first " + std::string(rawValue(a)) + std::to_string(*s));
        if (a == AlignmentAnchor::screenCenter) {
            self.reset();
            later.cancel();
            calls.push_back("first still alive " + std::to_string(*s));
        }
    });
    later = settings.subscribeAlignmentAnchor(
        [&](const auto& a) { calls.push_back("later " + std::string(rawValue(a))); });
    settings.setAlignmentAnchor(AlignmentAnchor::screenCenter);
    settings.setAlignmentAnchor(AlignmentAnchor::windowCentroid);
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "first windowCentroid1",
                         "later windowCentroid",
                         "first screenCenter1",
                         "first still alive 1",
                     }));
}

TEST(AppSettingsSubscription, TokensAndSettingsMayEndInEitherOrder) {
    SimPreferencesStore store;
    auto settings = std::make_unique<AppSettings>(store);
    int deliveries = 0;
    auto outliving = settings->subscribeWillChange([&] { ++deliveries; });
    auto moved = settings->subscribeAnimationDuration([&](const double&) { ++deliveries; });
    Subscription target = std::move(moved);
    EXPECT_FALSE(moved.active());
    settings->setAnimationDuration(1);
    EXPECT_EQ(deliveries, 3);
    // Cancelling, and destroying, tokens of settings that are gone must be harmless.
    settings.reset();
    outliving.cancel();
}

}  // namespace
}  // namespace tallowmere
