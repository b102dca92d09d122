// The observer contract on the simulated desktop.
#include <gtest/gtest.h>

#include "observer_contract.h"
#include "platform/sim/sim_desktop.h"

namespace tallowmere::contract {
namespace {

class SimContract final : public ContractDesktop {
  public:
    Accessibility& ax() override { return desktop_; }
    Pid application() override { return pid_; }
    void openWindow() override { desktop_.openWindow(pid_, {}); }
    void closeWindow(const AXElement& window) override {
        desktop_.closeWindow(desktop_.windowIdOf(window).value());
    }
    bool settleUntil(const std::function<bool()>& condition) override {
        for (int step = 0; step < 10 && !condition(); ++step) {
            loop_.advance(0.1);
        }
        return condition();
    }
    void settle() override { loop_.advance(1); }

  private:
    sim::SimMainLoop loop_;
    sim::SimDesktop desktop_{loop_};
    Pid pid_ = desktop_.addRunningApplication("Probe");
};

TEST(SimObserverContract, EveryCaseHolds) {
    for (auto* contractCase :
         {&registrationsAreUniqueAndRemovable, &deliveryFollowsOrderAttachmentAndRemoval,
          &destructionIsHeardOnceAndNeverAgain}) {
        SimContract desktop;
        contractCase(desktop);
    }
}

}  // namespace
}  // namespace tallowmere::contract
