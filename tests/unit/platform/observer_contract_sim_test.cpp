// The observer contract on the simulated desktop.
#include <gtest/gtest.h>

#include "observer_contract.h"
#include "platform/sim/sim_desktop.h"

namespace tallowmere::contract {
namespace {

struct SimContract final : ContractDesktop {
    Accessibility& ax() override { return desktop; }
    Pid application() override { return pid; }
    void openWindow() override { desktop.openWindow(pid, {}); }
    void closeWindow(const AXElement& window) override {
        desktop.closeWindow(desktop.windowIdOf(window).value());
    }
    // Whatever is due is delivered within a second of the virtual clock.
    bool settleUntil(const std::function<bool()>& condition) override {
        settle();
        return condition();
    }
    void settle() override { loop.advance(1); }

    sim::SimMainLoop loop;
    sim::SimDesktop desktop{loop};
    Pid pid = desktop.addRunningApplication("Probe");
};

TEST(SimObserverContract, EveryCaseHolds) {
    for (Case contractCase : kCases) {
        SimContract desktop;
        contractCase(desktop);
    }
}

}  // namespace
}  // namespace tallowmere::contract
