#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

#include "settings/app_settings.h"
#include "settings/pref_value_printer.h"

namespace tallowmere {
namespace {

using sim::SimPreferencesStore;
using Operation = SimPreferencesStore::Operation;

PrefData blob(std::string_view text) {
    return PrefData(text.begin(), text.end());
}

// Checks that a property, read through its getter, holds `expected`.
template <typename Getter, typename T>
std::function<void(const AppSettings&)> holds(Getter getter, T expected) {
    return [getter, expected](const AppSettings& s) { EXPECT_EQ((s.*getter)(), expected); };
}

const std::vector<std::string> kDefaultList = {"com.apple.Terminal", "com.apple.finder",
                                               "com.googlecode.iterm2", "org.vim.MacVim"};

TEST(AppSettingsLoading, EmptyStoreGivesTheDefaultsAndOnlyRemovesTheCenterShortcut) {
    SimPreferencesStore store;
    const AppSettings settings(store);
    EXPECT_EQ(settings.monitoredBundleIdentifiers(), kDefaultList);
    EXPECT_TRUE(settings.pausedBundleIdentifiers().empty());
    EXPECT_EQ(settings.windowSpacingMargin(), 20.0);
    EXPECT_TRUE(settings.alwaysOpenNewWindowOnRight());
    EXPECT_EQ(settings.animationEasing(), EasingFunction::random);
    EXPECT_EQ(settings.animationDuration(), 0.5);
    EXPECT_FALSE(settings.showFlashOverlay());
    EXPECT_EQ(settings.manualRealignShortcut(), std::nullopt);
    EXPECT_EQ(settings.alignmentAnchor(), AlignmentAnchor::windowCentroid);
    EXPECT_EQ(settings.manualCenterRealignShortcut(), std::nullopt);
    EXPECT_EQ(store.log(), std::vector{Operation::remove("manualCenterRealignShortcut")});
    EXPECT_TRUE(store.contents().empty());
}

TEST(AppSettingsLoading, UnusableStoredValuesFallBackToTheirDefaults) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* key;
        PrefValue stored;
        std::function<void(const AppSettings&)> expect;
    };
    const auto list = &AppSettings::monitoredBundleIdentifiers;
    const auto paused = &AppSettings::pausedBundleIdentifiers;
    const auto spacing = &AppSettings::windowSpacingMargin;
    const auto duration = &AppSettings::animationDuration;
    const auto right = &AppSettings::alwaysOpenNewWindowOnRight;
    const auto flash = &AppSettings::showFlashOverlay;
    const auto easing = &AppSettings::animationEasing;
    const auto anchor = &AppSettings::alignmentAnchor;
    using Strings = std::vector<std::string>;
    using StringSet = std::set<std::string>;
    const Case cases[] = {
        {"monitoredBundleIdentifiers", PrefArray{"com.apple.finder", 7}, holds(list, kDefaultList)},
        {"monitoredBundleIdentifiers", PrefArray{}, holds(list, Strings{})},
        {"monitoredBundleIdentifiers", "com.apple.finder", holds(list, kDefaultList)},
        {"monitoredBundleIdentifiers", PrefArray{"b", "a", "b"},
         holds(list, Strings{"b", "a", "b"})},
        {"pausedBundleIdentifiers", PrefArray{"a", "b", "a"}, holds(paused, StringSet{"a", "b"})},
        {"pausedBundleIdentifiers", PrefArray{"a", true}, holds(paused, StringSet{})},
        {"pausedBundleIdentifiers", "a", holds(paused, StringSet{})},
        {"windowSpacingMargin", "30", holds(spacing, 20.0)},
        {"windowSpacingMargin", 30, holds(spacing, 30.0)},
        {"windowSpacingMargin", 30.25, holds(spacing, 30.25)},
        {"windowSpacingMargin", -12.5, holds(spacing, -12.5)},
        {"windowSpacingMargin", true, holds(spacing, 20.0)},
        {"windowSpacingMargin", PrefArray{30}, holds(spacing, 20.0)},
        {"windowSpacingMargin", nan, holds(spacing, 20.0)},
        {"windowSpacingMargin", inf, holds(spacing, 20.0)},
        {"windowSpacingMargin", -inf, holds(spacing, 20.0)},
        {"animationDuration", 2, holds(duration, 2.0)},
        {"animationDuration", 0.0, holds(duration, 0.0)},
        {"animationDuration", "1.5", holds(duration, 0.5)},
        {"animationDuration", nan, holds(duration, 0.5)},
        {"animationDuration", -inf, holds(duration, 0.5)},
        {"alwaysOpenNewWindowOnRight", false, holds(right, false)},
        {"alwaysOpenNewWindowOnRight", 0, holds(right, true)},
        {"alwaysOpenNewWindowOnRight", "false", holds(right, true)},
        {"showFlashOverlay", true, holds(flash, true)},
        {"showFlashOverlay", 1, holds(flash, false)},
        {"animationEasing", "easeInOut", holds(easing, EasingFunction::easeInOut)},
        {"animationEasing", "none", holds(easing, EasingFunction::none)},
        {"animationEasing", "EaseInOut", holds(easing, EasingFunction::random)},
        {"animationEasing", "easeInOut ", holds(easing, EasingFunction::random)},
        {"animationEasing", 4, holds(easing, EasingFunction::random)},
        {"alignmentAnchor", "screenCenter", holds(anchor, AlignmentAnchor::screenCenter)},
        {"alignmentAnchor", "ScreenCenter", holds(anchor, AlignmentAnchor::windowCentroid)},
        {"alignmentAnchor", PrefArray{"screenCenter"},
         holds(anchor, AlignmentAnchor::windowCentroid)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.key << " = " << ::testing::PrintToString(c.stored));
        SimPreferencesStore store({{c.key, c.stored}});
        const AppSettings settings(store);
        c.expect(settings);
        // Loading mends in memory only: the stored value is not rewritten.
        EXPECT_EQ(store.log(), std::vector{Operation::remove("manualCenterRealignShortcut")});
    }
}

TEST(AppSettingsLoading, UnreadableShortcutIsRemovedOnlyUnderTheCenterKey) {
    const PrefValue noDisplay = blob(R"({"keyCode":15,"carbonModifiers":4352})");
    SimPreferencesStore store({{"manualRealignShortcut", noDisplay},
                               {"manualCenterRealignShortcut", noDisplay},
                               {"animationEasing", "linear"}});
    const AppSettings settings(store);
    EXPECT_EQ(settings.manualRealignShortcut(), std::nullopt);
    EXPECT_EQ(settings.manualCenterRealignShortcut(), std::nullopt);
    EXPECT_EQ(store.log(), std::vector{Operation::remove("manualCenterRealignShortcut")});
    EXPECT_EQ(store.contents().at("manualRealignShortcut"), noDisplay);
    EXPECT_FALSE(store.contents().contains("manualCenterRealignShortcut"));
}

TEST(AppSettingsLoading, ReadableCenterShortcutIsWrittenBackCompactly) {
    const ShortcutSpec spec{15, 0x1800, "⌃⌥R"};
    const PrefValue loose =
        blob(R"({ "displayString": "⌃⌥R", "extra": 1, "carbonModifiers": 6144, "keyCode": 15 })");
    SimPreferencesStore store(
        {{"manualRealignShortcut", loose}, {"manualCenterRealignShortcut", loose}});
    const AppSettings settings(store);
    EXPECT_EQ(settings.manualRealignShortcut(), spec);
    EXPECT_EQ(settings.manualCenterRealignShortcut(), spec);
    EXPECT_EQ(store.log(),
              std::vector{Operation::set("manualCenterRealignShortcut", *encodeShortcut(spec))});
    EXPECT_EQ(store.contents().at("manualRealignShortcut"), loose);
}

TEST(AppSettingsLoading, ShortcutStoredAsTextInsteadOfDataIsNotUsed) {
    SimPreferencesStore store(
        {{"manualRealignShortcut",
          PrefValue(R"({"keyCode":15,"carbonModifiers":0,"displayString":"R"})")}});
    const AppSettings settings(store);
    EXPECT_EQ(settings.manualRealignShortcut(), std::nullopt);
    EXPECT_EQ(settings.loadShortcut("manualRealignShortcut"), std::nullopt);
}

}  // namespace
}  // namespace tallowmere
