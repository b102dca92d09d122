#include "engine_fixture.h"

namespace tallowmere::testing {
namespace {

class KnownWindowRectsTest : public EngineFixture {
  protected:
    Pid pid = desktop.addRunningApplication("org.xterm");
    WindowId a = desktop.openWindow(pid, {});
    WindowId b = desktop.openWindow(pid, {});
};

TEST_F(KnownWindowRectsTest, RecordingAgainUpdatesInPlaceUnderAnEqualHandle) {
    engine->recordKnownRect(desktop.windowElement(a), pid, {1, 1}, {10, 10});
    engine->recordKnownRect(desktop.windowElement(b), pid, {2, 2}, {20, 20});
    // A fresh handle for the same window updates its entry instead of adding one.
    engine->recordKnownRect(desktop.windowElement(a), pid, {3, 3}, {30, 30});

    const auto& list = engine->knownWindowRects.at(pid);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].window, desktop.windowElement(a));
    EXPECT_EQ(list[0].position, (Point{3, 3}));
    EXPECT_EQ(list[0].size, (Size{30, 30}));
    EXPECT_EQ(list[1].window, desktop.windowElement(b));
    EXPECT_EQ(engine->lookupKnownRect(desktop.windowElement(a), pid), (Rect{{3, 3}, {30, 30}}));

    // Forgetting a removes only a; b keeps its place.
    engine->forgetKnownRect(desktop.windowElement(a), pid);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].window, desktop.windowElement(b));
    EXPECT_EQ(engine->lookupKnownRect(desktop.windowElement(a), pid), std::nullopt);
}

TEST_F(KnownWindowRectsTest, ForgettingUnknownWindowsOrApplicationsChangesNothing) {
    engine->recordKnownRect(desktop.windowElement(a), pid, {1, 1}, {10, 10});
    engine->forgetKnownRect(desktop.windowElement(b), pid);
    engine->forgetKnownRect(desktop.windowElement(a), pid + 1);
    engine->forgetApplicationRects(pid + 1);
    EXPECT_FALSE(engine->knownWindowRects.contains(pid + 1));
    ASSERT_EQ(engine->knownWindowRects.at(pid).size(), 1u);
    EXPECT_EQ(engine->lookupKnownRect(desktop.windowElement(a), pid + 1), std::nullopt);

    engine->forgetApplicationRects(pid);
    EXPECT_FALSE(engine->knownWindowRects.contains(pid));

    // Nor does subscribing a window of an application that is not followed.
    engine->subscribeWindowDestroyed(desktop.windowElement(a), pid);
    EXPECT_TRUE(desktop.observerOperations().empty());
}

}  // namespace
}  // namespace tallowmere::testing
