#include "platform/linux/qt/qt_main_loop.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/qt_test_support.h"

namespace tallowmere::linux_qt {
namespace {

TEST(QtMainLoop, DeliversWorkInDueOrderNeverEarlyAndHoldsDefaultModeWorkWhileAMenuIsOpen) {
    QtMainLoop loop;
    std::vector<std::string> order;
    const double start = loop.now();
    loop.dispatchAfter(0.03, [&] {
        order.push_back("late");
        EXPECT_GE(loop.now(), start + 0.03);
    });
    loop.dispatchAfter(0.01, [&] { order.push_back("soon"); });
    loop.dispatchAfter(0, [&] { order.push_back("now"); });
    loop.post(RunLoopMode::commonModes, [&] { order.push_back("posted"); });
    EXPECT_TRUE(order.empty());
    ASSERT_TRUE(spinUntil([&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<std::string>{"now", "posted", "soon", "late"}));
    EXPECT_EQ(loop.scheduledCount(), 0u);

    order.clear();
    int commonTicks = 0;
    int defaultTicks = 0;
    auto common = loop.scheduleRepeatingTimer(0.001, RunLoopMode::commonModes,
                                              [&](Timer&) { ++commonTicks; });
    loop.setMenuOpen(true);
    auto held = loop.scheduleRepeatingTimer(0.001, RunLoopMode::defaultMode,
                                            [&](Timer&) { ++defaultTicks; });
    loop.post(RunLoopMode::defaultMode, [&] { order.push_back("ax1"); });
    loop.post(RunLoopMode::defaultMode, [&] { order.push_back("ax2"); });
    loop.dispatchAfter(0.02, [&] { order.push_back("queue"); });
    ASSERT_TRUE(spinUntil([&] { return !order.empty(); }));
    EXPECT_EQ(order, std::vector<std::string>{"queue"});
    EXPECT_GE(commonTicks, 1) << "common-mode timers run while a menu is open";
    EXPECT_EQ(defaultTicks, 0);

    loop.setMenuOpen(false);
    loop.post(RunLoopMode::defaultMode, [&] { order.push_back("ax3"); });
    EXPECT_EQ(order.size(), 1u) << "held work waits for the next turn";
    ASSERT_TRUE(spinUntil([&] { return order.size() == 4 && defaultTicks >= 1; }));
    EXPECT_EQ(order, (std::vector<std::string>{"queue", "ax1", "ax2", "ax3"}));
    common->invalidate();
    held->invalidate();
    EXPECT_EQ(loop.scheduledCount(), 0u);
}

TEST(QtMainLoop, RepeatingTimersTickOnTheirGridAndTheFastCommonOnesRunTheFrameHooks) {
    QtMainLoop loop;
    std::vector<bool> told;
    int before = 0;
    loop.setFrameHooks(
        0.025, [&](bool running) { told.push_back(running); }, [&] { ++before; });
    // Neither a slow timer nor one a menu may hold can serve the connection between its ticks.
    int slowTicks = 0;
    auto slow =
        loop.scheduleRepeatingTimer(0.026, RunLoopMode::commonModes, [&](Timer&) { ++slowTicks; });
    auto held = loop.scheduleRepeatingTimer(0.002, RunLoopMode::defaultMode, [](Timer&) {});
    EXPECT_FALSE(loop.framesRunning());

    // A frame timer that ends itself at its 100th tick; one hook call before each frame tick.
    std::uint64_t previous = 0;
    int ticks = 0;
    auto guard = std::make_shared<int>(0);  // stands for what the callback keeps alive
    auto first =
        loop.scheduleRepeatingTimer(0.002, RunLoopMode::commonModes, [&, guard](Timer& self) {
            const auto& tick = static_cast<QtMainLoop::RepeatingTimer&>(self);
            EXPECT_GT(tick.tickIndex(), previous);
            EXPECT_GE(loop.now(), tick.tickDate()) << "tick " << tick.tickIndex() << " was early";
            EXPECT_EQ(std::exchange(before, 0), 1);
            previous = tick.tickIndex();
            if (++ticks == 100) {
                self.invalidate();
                self.invalidate();  // twice must not end the other frame timer's run
            }
        });
    int secondTicks = 0;
    auto second = loop.scheduleRepeatingTimer(0.025, RunLoopMode::commonModes, [&](Timer&) {
        EXPECT_EQ(std::exchange(before, 0), 1);
        ++secondTicks;
    });
    EXPECT_EQ(told, std::vector<bool>{true});
    ASSERT_TRUE(spinUntil([&] { return !first->isValid() && slowTicks >= 1; }));
    EXPECT_EQ(ticks, 100);
    EXPECT_EQ(guard.use_count(), 1) << "an invalidated timer releases its callback";
    EXPECT_TRUE(loop.framesRunning());
    second->invalidate();
    EXPECT_FALSE(loop.framesRunning());
    second->invalidate();
    slow->invalidate();
    held->invalidate();
    EXPECT_EQ(told, (std::vector<bool>{true, false}));
    EXPECT_GE(secondTicks, 1);
    EXPECT_EQ(loop.scheduledCount(), 0u) << "an invalidated timer wakes nobody";
}

}  // namespace
}  // namespace tallowmere::linux_qt
