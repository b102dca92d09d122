#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_main_loop.h"

namespace tallowmere::sim {
namespace {

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
