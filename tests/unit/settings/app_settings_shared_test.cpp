#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "platform/sim/sim_preferences_store.h"
#include "settings/app_settings.h"

namespace tallowmere {
namespace {

TEST(AppSettingsSharedDeathTest, AbortsWhenUsedBeforeAStoreIsInstalled) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(AppSettings::shared(), "before a store was installed");
}

TEST(AppSettingsShared, IsCreatedOnceOverTheInstalledStoreEvenUnderConcurrentFirstUse) {
    auto store = std::make_shared<sim::SimPreferencesStore>(
        sim::SimPreferencesStore::Contents{{"windowSpacingMargin", 8}});
    ASSERT_TRUE(AppSettings::installSharedStore(store));
    EXPECT_FALSE(AppSettings::installSharedStore(std::make_shared<sim::SimPreferencesStore>()));

    std::vector<AppSettings*> seen(4);
    std::vector<std::thread> threads;
    for (auto& slot : seen) {
        threads.emplace_back([&slot] { slot = &AppSettings::shared(); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (AppSettings* settings : seen) {
        EXPECT_EQ(settings, seen.front());
    }
    EXPECT_EQ(seen.front()->windowSpacingMargin(), 8.0);
    // Loaded exactly once: one start-up removal.
    EXPECT_EQ(store->log().size(), 1u);
    seen.front()->setShowFlashOverlay(true);
    EXPECT_EQ(store->contents().at("showFlashOverlay"), PrefValue(true));
}

}  // namespace
}  // namespace tallowmere
