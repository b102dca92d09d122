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

// What one batch to the script holds after the engine's writes of a frame (every window stands at
// 0,0 before): each window's newest target once, in the order first asked, never a target the
// window stands at, nothing for a window that went.
TEST(BatchedMoves, OneBatchHoldsEachWindowsNewestTarget) {
    using Request = std::tuple<std::string, int, int>;
    struct Case {
        const char* what;
        std::vector<Request> requests;
        std::vector<std::string> gone;
        std::vector<kwin::Move> batch;
    };
    const Case cases[] = {
        {"already there", {{"a", 0, 0}}, {}, {}},
        {"newest wins", {{"a", 10, 0}, {"a", 20, 5}}, {}, {{"a", 20, 5}}},
        {"one axis differs", {{"a", 0, 10}, {"a", 0, 7}}, {}, {{"a", 0, 7}}},
        {"first asked first",
         {{"b", 1, 1}, {"a", 2, 2}, {"b", 3, 3}},
         {},
         {{"b", 3, 3}, {"a", 2, 2}}},
        {"window gone", {{"a", 5, 5}, {"b", 6, 6}}, {"a"}, {{"b", 6, 6}}},
    };
    for (const Case& c : cases) {
        kwin::BatchedMoves moves;
        for (const auto& [window, x, y] : c.requests) {
            moves.request(window, x, y, 0, 0);
        }
        for (const std::string& window : c.gone) {
            moves.forget(window);
        }
        EXPECT_EQ(moves.take(), c.batch) << c.what;
        EXPECT_FALSE(moves.pending()) << c.what;
        EXPECT_TRUE(moves.take().empty()) << c.what;
    }
}

}  // namespace
}  // namespace tallowmere::kwintest

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    return tallowmere::kit::runOnPrivateKWin(argc, argv);
}
