// The KWin backend against a real headless KWin: the observer contract every desktop keeps, over
// the script's reports of real Wayland clients.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <deque>
#include <list>
#include <tuple>
#include <utility>

#include "kwin_session.h"
#include "observer_contract.h"
#include "platform/linux/kwin/batched_moves.h"
#include "platform/linux/kwin/kwin_desktop.h"
#include "platform/linux/kwin/script_bridge.h"

namespace tallowmere::kwintest {
namespace {

class KWinObserverContract : public ::testing::TestWithParam<void (*)(contract::ContractDesktop&)>,
                             public contract::ContractDesktop {
  protected:
    void SetUp() override {
        desktop_ = std::make_unique<kwin::KWinDesktop>(
            [this](RunLoopMode, std::function<void()> work) { posted_.push_back(std::move(work)); },
            Pid(getpid()));
        bridge_ = std::make_unique<kwin::ScriptBridge>(*desktop_, QDBusConnection::sessionBus(),
                                                       TALLOWMERE_KWIN_SCRIPT_SOURCE);
        std::string whyNot;
        ASSERT_TRUE(bridge_->start(whyNot)) << whyNot;
        ASSERT_TRUE(settleUntil([this] { return desktop_->connected(); }));
        openWindow();
        ASSERT_TRUE(settleUntil([this] {
            const auto apps = desktop_->runningApplications();
            pid_ = apps.empty() ? 0 : apps.front().processIdentifier;
            return apps.size() == 1 && apps.front().bundleIdentifier == kClass;
        }));
    }

    // ContractDesktop
    Accessibility& ax() override { return *desktop_; }
    Pid application() override { return pid_; }
    void openWindow() override {
        windows_.emplace_back(TALLOWMERE_WAYLAND_WINDOW, kClass, "window");
    }
    void closeWindow(const AXElement& window) override {
        const auto reported = desktop_->reportedWindowOf(window);
        ASSERT_TRUE(reported && reported->pid);
        windows_.remove_if([&](const kit::WaylandWindow& w) { return w.pid() == *reported->pid; });
    }
    // The Qt loop and the desktop's posted work, until the condition holds or the time is up.
    bool settleUntil(const std::function<bool()>& condition) override {
        return kit::waitUntil([&] {
            QCoreApplication::processEvents();
            for (auto& work : std::exchange(posted_, {})) {
                work();
            }
            return condition();
        });
    }
    void settle() override {
        kit::waitUntil([&] { return !settleUntil([] { return true; }); }, 0.3);
    }

    static constexpr const char* kClass = "Contract";
    std::deque<std::function<void()>> posted_;
    std::unique_ptr<kwin::KWinDesktop> desktop_;
    std::list<kit::WaylandWindow> windows_;
    // Unloads the script before the windows close and while the desktop it reports to exists.
    std::unique_ptr<kwin::ScriptBridge> bridge_;
    Pid pid_ = 0;
};

TEST_P(KWinObserverContract, Holds) {
    GetParam()(*this);
}

INSTANTIATE_TEST_SUITE_P(Cases, KWinObserverContract,
                         ::testing::Values(&contract::registrationsAreUniqueAndRemovable,
                                           &contract::deliveryFollowsOrderAttachmentAndRemoval,
                                           &contract::destructionIsHeardOnceAndNeverAgain));

// One batch after the engine's writes of a frame: each window's newest target once, in the order
// first asked, nothing for a window already there or gone.
TEST(BatchedMoves, OneBatchHoldsEachWindowsNewestTarget) {
    kwin::BatchedMoves moves;
    moves.request("b", 1, 1, 0, 0);
    moves.request("a", 0, 2, 0, 0);
    moves.request("b", 3, 3, 0, 0);
    moves.request("there", 7, 9, 7, 9);
    moves.request("gone", 5, 5, 0, 0);
    moves.forget("gone");
    EXPECT_EQ(moves.take(), (std::vector<kwin::Move>{{"b", 3, 3}, {"a", 0, 2}}));
    EXPECT_FALSE(moves.pending());
    EXPECT_TRUE(moves.take().empty());
}

}  // namespace
}  // namespace tallowmere::kwintest

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    return tallowmere::kit::runOnPrivateKWin(argc, argv);
}
