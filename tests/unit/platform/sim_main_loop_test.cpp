#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_main_loop.h"

namespace tallowmere::sim {
namespace {

TEST(SimMainLoop, RunsDelayedWorkInTimeOrderAndOnlyWhenDue) {
    SimMainLoop loop;
    std::vector<std::string> order;
    loop.dispatchAfter(0.2, [&] { order.push_back("b@" + std::to_string(loop.now())); });
    loop.dispatchAfter(0.1, [&] { order.push_back("a"); });
    loop.dispatchAfter(0.1, [&] { order.push_back("a2"); });
    loop.advance(0.05);
    EXPECT_TRUE(order.empty());
    loop.advance(0.2);
    EXPECT_EQ(order, (std::vector<std::string>{"a", "a2", "b@" + std::to_string(0.2)}));
    EXPECT_DOUBLE_EQ(loop.now(), 0.25);
    EXPECT_EQ(loop.pendingWorkCount(), 0u);
}

TEST(SimMainLoop, TimersTickFromTheirStartWithoutDriftUntilInvalidated) {
    SimMainLoop loop;
    std::vector<double> ticks;
    auto timer = loop.scheduleRepeatingTimer(0.1, RunLoopMode::commonModes, [&](Timer& t) {
        ticks.push_back(loop.now());
        if (ticks.size() == 3) {
            t.invalidate();
        }
    });
    loop.advance(1.0);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_DOUBLE_EQ(ticks[2], 0.30000000000000004);
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(loop.activeTimerCount(), 0u);
}

// As the real loop does; the ticks a default-mode timer missed meanwhile coalesce into one.
TEST(SimMainLoop, OpenMenuHoldsDefaultModeWorkButNotCommonModeWork) {
    SimMainLoop loop;
    std::vector<std::string> order;
    int commonTicks = 0;
    int defaultTicks = 0;
    loop.scheduleRepeatingTimer(0.1, RunLoopMode::commonModes, [&](Timer&) { ++commonTicks; });
    loop.scheduleRepeatingTimer(0.1, RunLoopMode::defaultMode, [&](Timer&) { ++defaultTicks; });
    loop.setMenuOpen(true);
    loop.post(RunLoopMode::defaultMode, [&] { order.push_back("ax1"); });
    loop.post(RunLoopMode::defaultMode, [&] { order.push_back("ax2"); });
    loop.dispatchAfter(0.05, [&] { order.push_back("queue"); });
    loop.advance(0.35);
    EXPECT_EQ(order, std::vector<std::string>{"queue"});
    EXPECT_EQ(commonTicks, 3);
    EXPECT_EQ(defaultTicks, 0);
    loop.setMenuOpen(false);
    EXPECT_EQ(order, (std::vector<std::string>{"queue", "ax1", "ax2"}));
    EXPECT_EQ(defaultTicks, 1);
    loop.advance(0.1);
    EXPECT_EQ(defaultTicks, 2);
}

}  // namespace
}  // namespace tallowmere::sim
