#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <tuple>

#include "platform/sim/sim_preferences_store.h"
#include "settings/app_settings.h"

namespace tallowmere {
namespace {

using sim::SimPreferencesStore;
using Operation = SimPreferencesStore::Operation;
using Strings = std::vector<std::string>;

PrefData bytes(std::string_view json) {
    return PrefData(json.begin(), json.end());
}
const std::vector kStartUpRemoval = {Operation::remove("manualCenterRealignShortcut")};

// Every property, in declaration order.
using Snapshot =
    std::tuple<Strings, std::set<std::string>, double, bool, EasingFunction, double, bool,
               std::optional<ShortcutSpec>, AlignmentAnchor, std::optional<ShortcutSpec>>;
Snapshot snapshot(const AppSettings& s) {
    return {s.monitoredBundleIdentifiers(), s.pausedBundleIdentifiers(), s.windowSpacingMargin(),
            s.alwaysOpenNewWindowOnRight(), s.animationEasing(),         s.animationDuration(),
            s.showFlashOverlay(),           s.manualRealignShortcut(),   s.alignmentAnchor(),
            s.manualCenterRealignShortcut()};
}

const Snapshot kDefaults({"com.apple.Terminal", "com.apple.finder", "com.googlecode.iterm2",
                          "org.vim.MacVim"},
                         {}, 20.0, true, EasingFunction::random, 0.5, false, std::nullopt,
                         AlignmentAnchor::windowCentroid, std::nullopt);

// Nothing is written but the removal of a center shortcut that is not there.
TEST(AppSettingsLoading, AnEmptyStoreOrUnusableValuesGiveTheDefaultsInMemoryOnly) {
    SimPreferencesStore empty;
    EXPECT_EQ(snapshot(AppSettings(empty)), kDefaults);
    EXPECT_EQ(empty.log(), kStartUpRemoval);
    const std::pair<const char*, PrefValue> unusable[] = {
        {"monitoredBundleIdentifiers", PrefArray{"com.apple.finder", 7}},
        {"windowSpacingMargin", "30"},
        {"windowSpacingMargin", true},
        {"windowSpacingMargin", std::nan("")},
        {"windowSpacingMargin", -HUGE_VAL},
        {"animationDuration", HUGE_VAL},
        {"alwaysOpenNewWindowOnRight", 0},
        {"animationEasing", "EaseInOut"},
        {"alignmentAnchor", "ScreenCenter"}};
    for (const auto& entry : unusable) {
        SimPreferencesStore store({entry});
        EXPECT_EQ(snapshot(AppSettings(store)), kDefaults) << "case " << (&entry - unusable);
        EXPECT_EQ(store.log(), kStartUpRemoval);
    }
    SimPreferencesStore store({{"monitoredBundleIdentifiers", PrefArray{}}});
    EXPECT_TRUE(AppSettings(store).monitoredBundleIdentifiers().empty())
        << "an empty list is usable";
}

// The realign shortcut is left as stored; the center one is re-encoded or removed at start-up.
TEST(AppSettingsLoading, ShortcutsAreOnlyCompleteWellTypedObjectsThatFitTheWidths) {
    const ShortcutSpec controlCommandR{15, 0x1100, "⌃⌘R"};
    const std::pair<std::string_view, std::optional<ShortcutSpec>> cases[] = {
        {R"({"keyCode":15,"carbonModifiers":4352,"displayString":"⌃⌘R"})", controlCommandR},
        {R"( {"displayString":"⌃⌘R", "x":[1], "carbonModifiers":4352, "keyCode":15} )",
         controlCommandR},
        {R"({"keyCode":65535,"carbonModifiers":4294967295,"displayString":""})",
         ShortcutSpec{65535, 4294967295u, ""}},
        {R"({"keyCode":15,"carbonModifiers":4352})", std::nullopt},
        {R"({"keyCode":65536,"carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":-1,"carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":15.0,"carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":"15","carbonModifiers":0,"displayString":"R"})", std::nullopt},
        {R"({"keyCode":15,"carbonModifiers":0,"displayString":"R")", std::nullopt},
        {"{\"keyCode\":15,\"carbonModifiers\":0,\"displayString\":\"\xff\"}", std::nullopt},
    };
    for (const auto& [json, expected] : cases) {
        SCOPED_TRACE(json);
        const PrefValue stored = bytes(json);
        SimPreferencesStore store(
            {{"manualRealignShortcut", stored}, {"manualCenterRealignShortcut", stored}});
        const AppSettings settings(store);
        EXPECT_EQ(settings.manualRealignShortcut(), expected);
        EXPECT_EQ(settings.manualCenterRealignShortcut(), expected);
        EXPECT_EQ(store.contents().at("manualRealignShortcut"), stored);
        EXPECT_EQ(store.log().size(), 1u);
        EXPECT_EQ(AppSettings(store).manualCenterRealignShortcut(), expected);
    }
}

TEST(AppSettingsAssignment, AnnouncesDeliversTakesWritesAndStopsAtOnceWhenCancelledOrDestroyed) {
    SimPreferencesStore store;
    auto settings = std::make_unique<AppSettings>(store);
    store.clearLog();
    Strings events;
    const auto note = [&](const std::string& what) {
        events.push_back(what + " holding " + std::to_string(int(settings->windowSpacingMargin())) +
                         ", writes " + std::to_string(store.log().size()));
    };
    auto willChange = settings->subscribeWillChange([&] { note("will-change"); });
    auto spacing = settings->subscribeWindowSpacingMargin(
        [&](const double& value) { note("deliver " + std::to_string(int(value))); });
    settings->setWindowSpacingMargin(35);
    settings->setWindowSpacingMargin(35);
    EXPECT_EQ(events,
              (Strings{"deliver 20 holding 20, writes 0", "will-change holding 20, writes 0",
                       "deliver 35 holding 20, writes 0", "will-change holding 35, writes 1",
                       "deliver 35 holding 35, writes 1"}));
    EXPECT_EQ(store.log(), std::vector(2, Operation::set("windowSpacingMargin", 35.0)));

    willChange.cancel();
    events.clear();
    auto kept = settings->subscribeShowFlashOverlay(
        [&](const bool& on) { events.push_back("kept " + std::to_string(on)); });
    // This receiver destroys its own token (and so its own callable) and cancels the next one's.
    auto self = std::make_unique<Subscription>();
    Subscription later;
    *self = settings->subscribeShowFlashOverlay([&, alive = std::make_shared<int>(1)](bool on) {
        if (on) {
            self.reset();
            later.cancel();
        }
        events.push_back("self " + std::to_string(on) + ", alive " + std::to_string(*alive));
    });
    later = settings->subscribeShowFlashOverlay(
        [&](const bool& on) { events.push_back("later " + std::to_string(on)); });
    settings->setShowFlashOverlay(true);
    settings->setShowFlashOverlay(false);
    EXPECT_EQ(events, (Strings{"kept 0", "self 0, alive 1", "later 0", "kept 1", "self 1, alive 1",
                               "kept 0"}));
    settings.reset();
    kept.cancel();  // tokens may outlive their settings
}

TEST(AppSettingsAssignment, EveryPropertyIsWrittenByTheRuleOfItsTypeAndReadBackOnRestart) {
    const ShortcutSpec shiftCommandK{40, 0x0200 | 0x0100, "⇧⌘K"};
    // Compact JSON, members in the order the encoder writes them.
    const PrefData shiftCommandKBytes =
        bytes(R"({"carbonModifiers":768,"displayString":"⇧⌘K","keyCode":40})");
    SimPreferencesStore store;
    AppSettings settings(store);
    settings.setPausedBundleIdentifiers({"Emacs", "XTerm"});  // resumed below: stored without it
    store.clearLog();
    settings.setMonitoredBundleIdentifiers({"XTerm", "Emacs", "XTerm"});
    settings.setPausedBundleIdentifiers({"Emacs"});
    settings.setWindowSpacingMargin(-4);
    settings.setAlwaysOpenNewWindowOnRight(false);
    settings.setAnimationEasing(EasingFunction::easeInOut);
    settings.setAnimationDuration(0);
    settings.setShowFlashOverlay(true);
    settings.setManualRealignShortcut(shiftCommandK);
    settings.setAlignmentAnchor(AlignmentAnchor::screenCenter);
    settings.setManualCenterRealignShortcut(shiftCommandK);
    const ShortcutSpec notUtf8{40, 0x0100, "\xff"};  // held, but cannot be stored
    settings.setManualRealignShortcut(notUtf8);
    EXPECT_EQ(settings.manualRealignShortcut(), notUtf8);
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
            Operation::set("manualRealignShortcut", shiftCommandKBytes),
            Operation::set("alignmentAnchor", "screenCenter"),
            Operation::set("manualCenterRealignShortcut", shiftCommandKBytes),
            Operation::remove("manualRealignShortcut"),
        }));
    EXPECT_EQ(
        snapshot(AppSettings(store)),
        Snapshot({"XTerm", "Emacs", "XTerm"}, {"Emacs"}, -4.0, false, EasingFunction::easeInOut,
                 0.0, true, std::nullopt, AlignmentAnchor::screenCenter, shiftCommandK));
}

TEST(AppSettingsSharedDeathTest, AbortsBeforeAStoreIsInstalledThenIsCreatedOnceOverIt) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(AppSettings::shared(), "before a store was installed");
    auto store = std::make_shared<SimPreferencesStore>(
        SimPreferencesStore::Contents{{"windowSpacingMargin", 8}});  // an integer is a number
    // As the program installs it, with the watch list a Linux desktop starts with.
    ASSERT_TRUE(AppSettings::installSharedStore(
        store, AppSettings::linuxDefaultMonitoredBundleIdentifiers()));
    EXPECT_FALSE(AppSettings::installSharedStore(std::make_shared<SimPreferencesStore>()));
    AppSettings& shared = AppSettings::shared();
    EXPECT_EQ(&AppSettings::shared(), &shared);
    EXPECT_EQ(shared.windowSpacingMargin(), 8.0);
    EXPECT_EQ(shared.monitoredBundleIdentifiers(),
              (Strings{"XTerm", "org.gnome.Nautilus", "Gnome-terminal", "Gvim"}));
    EXPECT_EQ(store->log(), kStartUpRemoval);  // loaded once
}

}  // namespace
}  // namespace tallowmere
