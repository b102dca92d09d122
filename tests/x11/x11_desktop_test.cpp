// The X11 accessibility, workspace and screen ports against a real Xvfb and openbox: the mirror
// follows a window's life, moves are coalesced, X errors about vanished windows are absorbed, and
// screens are the monitors less the panels.
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "child_process.h"
#include "display_session.h"
#include "observer_contract.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/linux/x11/x11_desktop.h"
#include "platform/linux/x11/x11_screens.h"
#include "platform/sim/sim_main_loop.h"
#include "probe.h"

namespace tallowmere::x11test {
namespace {

using x11::X11Connection;
using x11::X11Desktop;

struct Notice {
    std::string name;
    AXElement element;
};

class X11DesktopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(display_.display()) << "no private Xvfb with openbox";
        std::string whyNot;
        x_ = X11Connection::open(display_.display()->c_str(), whyNot);
        ASSERT_TRUE(x_) << whyNot;
        desktop_ = std::make_unique<X11Desktop>(
            *x_, loop_,
            [this](RunLoopMode mode, std::function<void()> work) { loop_.post(mode, work); },
            [this](int fd, std::function<void()> onReadable) -> std::shared_ptr<void> {
                exitWatches_[fd] = std::move(onReadable);
                return std::shared_ptr<void>(nullptr,
                                             [this, fd](void*) { exitWatches_.erase(fd); });
            });
        listener_ = x_->addListener(
            [this](const xcb_generic_event_t& e) { return desktop_->handleEvent(e); });
        desktop_->start();
        // Follow every application the way the engine does: an observer per launched group.
        desktop_->addObserver(this, WorkspaceEvent::didLaunchApplication,
                              [this](const WorkspaceNotification& n) {
                                  ASSERT_TRUE(n.application);
                                  observe(*n.application);
                              });
        probe_ = std::make_unique<kit::Probe>(*display_.display());
        owner_ = std::make_unique<kit::WindowOwner>(*display_.display());
    }

    void observe(const RunningApplication& application) {
        const Pid pid = application.processIdentifier;
        auto created = desktop_->createObserver(pid, &X11DesktopTest::onNotice);
        ASSERT_EQ(created.error, kAXErrorSuccess);
        for (const char* name :
             {"AXWindowCreated", "AXWindowMiniaturized", "AXWindowDeminiaturized"}) {
            ASSERT_EQ(desktop_->addNotification(created.observer, desktop_->createApplication(pid),
                                                name, this),
                      kAXErrorSuccess);
        }
        desktop_->addRunLoopSource(created.observer);
        applications_[application.bundleIdentifier.value_or("")] = pid;
        observers_.push_back(created.observer);
    }

    static void onNotice(const AXObserver& observer, const AXElement& element,
                         std::string_view name, void* refcon) {
        auto* self = static_cast<X11DesktopTest*>(refcon);
        self->notices_.push_back({std::string(name), element});
        if (name == "AXWindowCreated") {
            // Subscribe every new window for its destruction, as the engine does.
            EXPECT_EQ(
                self->desktop_->addNotification(observer, element, "AXUIElementDestroyed", refcon),
                kAXErrorSuccess);
        }
    }

    // Round trip, dispatch, run delivered work; until the condition holds or 5 s pass.
    bool waitUntil(const std::function<bool()>& condition) {
        return kit::waitUntil(
            [&] {
                xcb_connection_t* c = x_->conn();
                std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
                EXPECT_TRUE(x_->dispatchEvents(true));
                for (auto& [fd, onReadable] : std::map(exitWatches_)) {
                    pollfd ready{fd, POLLIN, 0};
                    if (poll(&ready, 1, 0) > 0) {
                        onReadable();
                    }
                }
                loop_.advance(0.01);
                x_->flush();
                return condition();
            },
            5);
    }

    void pause(double seconds) {
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        waitUntil([&] { return std::chrono::steady_clock::now() > until; });
    }

    std::optional<AXElement> lastNotice(const std::string& name) const {
        for (auto it = notices_.rbegin(); it != notices_.rend(); ++it) {
            if (it->name == name) {
                return it->element;
            }
        }
        return std::nullopt;
    }

    std::vector<AXElement> windowsOf(const std::string& wmClass) {
        auto result = desktop_->copyAttributeValue(
            desktop_->createApplication(applications_.at(wmClass)), "AXWindows");
        EXPECT_EQ(result.error, kAXErrorSuccess);
        return result.value ? std::get<std::vector<AXElement>>(*result.value)
                            : std::vector<AXElement>{};
    }

    std::optional<Point> position(const AXElement& window, const char* attribute = "AXPosition") {
        auto result = desktop_->copyAttributeValue(window, attribute);
        if (result.error != kAXErrorSuccess) {
            return std::nullopt;
        }
        const auto& value = std::get<AXValue>(*result.value);
        return Point{value.first, value.second};
    }

    bool minimized(const AXElement& window) {
        auto result = desktop_->copyAttributeValue(window, "AXMinimized");
        return result.error == kAXErrorSuccess && std::get<bool>(*result.value);
    }

    // A window of `wmClass` opened by the other process, once its creation was delivered.
    std::pair<AXElement, xcb_window_t> openWindow(const std::string& wmClass, int x, int y,
                                                  xcb_window_t reuseId = 0) {
        const std::size_t before = notices_.size();
        const xcb_window_t id = owner_->create(wmClass, x, y, 300, 200, reuseId);
        EXPECT_TRUE(id && waitUntil([&] {
                        return notices_.size() > before &&
                               notices_.back().name == "AXWindowCreated";
                    }))
            << "no AXWindowCreated for " << wmClass;
        return {notices_.empty() ? AXElement() : notices_.back().element, id};
    }

    kit::DisplaySession display_;
    // Its clock goes on by each poll's 10 ms only while the test waits.
    sim::SimMainLoop loop_;
    // Before the desktop, whose exit-watch tokens erase their entries when it goes.
    std::map<int, std::function<void()>> exitWatches_;
    std::unique_ptr<X11Connection> x_;
    std::unique_ptr<X11Desktop> desktop_;
    std::shared_ptr<void> listener_;
    std::unique_ptr<kit::Probe> probe_;
    std::unique_ptr<kit::WindowOwner> owner_;
    std::map<std::string, Pid> applications_;
    std::vector<AXObserver> observers_;
    std::vector<Notice> notices_;
};

TEST_F(X11DesktopTest, FollowsAWindowFromCreationThroughMovesStatesAndDesktopsToDestruction) {
    const auto [window, id] = openWindow("Probe", 200, 150);
    ASSERT_TRUE(window);

    // openbox frames a 300x200 client with extents 1,1,20,5 (l,r,t,b): 302 x 225, at the frame's
    // top-left.
    auto frame = probe_->frame(id);
    ASSERT_TRUE(frame);
    EXPECT_EQ(position(window), (Point{double(frame->x), double(frame->y)}));
    EXPECT_EQ(position(window, "AXSize"), (Point{302, 225}));
    EXPECT_EQ(std::get<std::string>(*desktop_->copyAttributeValue(window, "AXSubrole").value),
              "AXStandardWindow");
    EXPECT_EQ(windowsOf("Probe"), std::vector{window});

    // Moved by someone else: the mirror follows the frame's ConfigureNotify.
    probe_->moveFrame(id, 640, 360);
    EXPECT_TRUE(waitUntil([&] { return position(window) == Point{640, 360}; }));

    // A burst of moves sends a handful of requests and ends at the last target.
    const std::uint64_t before = desktop_->mover().requestsSent();
    auto move = [&](Point to) {
        return desktop_->setAttributeValue(window, "AXPosition",
                                           {AXValueType::cgPoint, to.x, to.y});
    };
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(move({100.0 + i * 0.7, 100.0 + (i % 37) * 3.0}), kAXErrorSuccess);
    }
    // The last target, 100 + 999 * 0.7 = 799.3 and 100 + (999 % 37) * 3 = 100 + 0 * 3, rounded,
    // where the mirror and an independent client both see the frame.
    x_->flush();
    auto at = [&](Point p) {
        return position(window) == p && probe_->frame(id) == kit::FramePosition{int(p.x), int(p.y)};
    };
    EXPECT_TRUE(waitUntil([&] { return at({799, 100}); }));
    const std::uint64_t sent = desktop_->mover().requestsSent() - before;
    EXPECT_GE(sent, 1u);
    EXPECT_LE(sent, 4u);
    // An unchanged position is never sent again.
    move({799, 100});
    EXPECT_EQ(desktop_->mover().requestsSent() - before, sent);

    // A move waiting behind the one in flight that differs in one axis only still goes out.
    for (const auto& [inFlight, queued] : {std::pair{Point{799, 300}, Point{500, 300}},
                                           std::pair{Point{500, 100}, Point{500, 250}}}) {
        move(inFlight);
        move(queued);
        x_->flush();
        EXPECT_TRUE(waitUntil([&] { return at(queued); }));
    }

    probe_->iconify(id);
    EXPECT_TRUE(waitUntil([&] { return minimized(window); }));
    EXPECT_TRUE(waitUntil([&] { return lastNotice("AXWindowMiniaturized") == window; }));
    probe_->activate(id);
    EXPECT_TRUE(waitUntil([&] { return !minimized(window); }));
    EXPECT_TRUE(waitUntil([&] { return lastNotice("AXWindowDeminiaturized") == window; }));

    // On another desktop the window leaves the application's window list, and comes back.
    probe_->sendToDesktop(id, 1);
    EXPECT_TRUE(waitUntil([&] { return windowsOf("Probe").empty(); }));
    probe_->sendToDesktop(id, 0);
    EXPECT_TRUE(waitUntil([&] { return windowsOf("Probe").size() == 1; }));

    owner_->destroy(id);
    EXPECT_TRUE(waitUntil([&] { return lastNotice("AXUIElementDestroyed") == window; }));
    EXPECT_NE(desktop_->setAttributeValue(window, "AXPosition", {AXValueType::cgPoint, 1, 1}),
              kAXErrorSuccess);

    // X reuses ids: a new window under the same id is a different element, and the old one
    // stays unreadable.
    const auto [successor, successorId] = openWindow("Probe", 300, 250, id);
    ASSERT_EQ(successorId, id);
    EXPECT_FALSE(successor == window);
    EXPECT_NE(desktop_->copyAttributeValue(window, "AXPosition").error, kAXErrorSuccess);
    EXPECT_EQ(windowsOf("Probe"), std::vector{successor});

    // A second class of the process makes a second application. Each lives as long as the
    // process, and both end when it exits, whether or not their windows closed first.
    std::vector<std::string> ended;
    desktop_->addObserver(&ended, WorkspaceEvent::didTerminateApplication,
                          [&](const WorkspaceNotification& n) {
                              ended.push_back(n.application->bundleIdentifier.value_or(""));
                          });
    owner_->create("Second", 500, 100, 300, 200);
    ASSERT_TRUE(waitUntil([&] { return applications_.count("Second"); }));
    owner_->destroy(id);
    pause(0.5);
    EXPECT_TRUE(ended.empty()) << ended.front();
    owner_.reset();
    ASSERT_TRUE(waitUntil([&] { return ended.size() == 2; }));
    std::sort(ended.begin(), ended.end());
    EXPECT_EQ(ended, (std::vector<std::string>{"Probe", "Second"}));
    desktop_->removeObserver(&ended);
    EXPECT_EQ(x_->errorCount(), 0u);
}

// The observer contract the simulated desktop runs too, each case on a desktop of its own, with
// windows of class "Contract".
class X11ObserverContract : public X11DesktopTest,
                            public contract::ContractDesktop,
                            public ::testing::WithParamInterface<contract::Case> {
  protected:
    Accessibility& ax() override { return *desktop_; }
    Pid application() override { return applications_.at("Contract"); }
    void openWindow() override { owner_->create("Contract", 100, 100, 300, 200); }
    void closeWindow(const AXElement& window) override {
        owner_->destroy(desktop_->clientOf(window).value());
    }
    bool settleUntil(const std::function<bool()>& condition) override {
        return waitUntil(condition);
    }
    void settle() override { pause(0.3); }
};

TEST_P(X11ObserverContract, Holds) {
    X11DesktopTest::openWindow("Contract", 40, 40);
    GetParam()(*this);
}

INSTANTIATE_TEST_SUITE_P(Cases, X11ObserverContract, ::testing::ValuesIn(contract::kCases));

// Any client may rewrite the client list: with the root in it, with repeats, with a window that
// vanished a moment ago, or with 100 000 ids that name nothing; and write properties of shapes no
// honest client writes. The mirror keeps each window once, keeps following frames (the root's own
// event selection untouched), reads within bounds and stays responsive.
TEST_F(X11DesktopTest, WhatStrangersWriteNeitherFreezesNorConfusesTheMirror) {
    const auto [first, a] = openWindow("Probe", 100, 100);
    const xcb_window_t b = openWindow("Probe", 500, 100).second;
    const xcb_window_t gone = owner_->create("Other", 900, 100, 300, 200);
    ASSERT_TRUE(waitUntil([&] { return probe_->listed(gone); }));
    const auto created = [&] {
        return std::count_if(notices_.begin(), notices_.end(),
                             [](const Notice& n) { return n.name == "AXWindowCreated"; });
    };
    const auto createdBefore = created();
    // Written by the probe, seen by the server before the mirror's next round trip.
    auto write = [&](const std::vector<xcb_window_t>& list) {
        probe_->setCardinals(probe_->root(), "_NET_CLIENT_LIST", list, XCB_ATOM_WINDOW);
        probe_->clientList();
        waitUntil([] { return true; });
    };

    // Once the window manager has dropped it from its own list: were its rewrite to land between
    // ours and the mirror's read, the mirror would never see our list.
    owner_->destroy(gone);
    ASSERT_TRUE(waitUntil([&] { return !probe_->listed(gone); }));
    write({a, b, a, b, a, probe_->root(), gone});
    EXPECT_EQ(windowsOf("Probe").size(), 2u);
    EXPECT_EQ(desktop_->mirror().find(gone), nullptr);
    // The mirror read this list, not the window manager's: it asked after the vanished window,
    // and the BadWindow taught it that the id names nothing.
    EXPECT_EQ(desktop_->mirror().knownAbsent(), 1u);
    probe_->moveFrame(a, 900, 400);
    EXPECT_TRUE(waitUntil([&] { return position(first) == Point{900, 400}; }));

    std::vector<xcb_window_t> strangers{a, b};
    for (xcb_window_t id = 0x7F000000; strangers.size() < 100002; ++id) {
        strangers.push_back(id);
    }
    write(strangers);
    EXPECT_GT(desktop_->mirror().knownAbsent(), 0u);
    EXPECT_EQ(windowsOf("Probe").size(), 2u);
    EXPECT_EQ(created(), createdBefore);
    // Learnt a batch at a time: a window opened meanwhile is announced as soon as the window
    // manager lists it.
    const AXElement later = openWindow("Probe", 700, 100).first;
    EXPECT_TRUE(waitUntil([&] { return windowsOf("Probe").size() == 3; }));
    EXPECT_TRUE(position(later));

    // A class longer than the 2048 bytes the mirror asks for is cut there, and extents past
    // INT_MAX are clamped to the 1920x1080 screen: 300 + 2 * 1920 by 200 + 2 * 1080.
    const xcb_window_t none = probe_->openWindow("", 0, 0, 50, 50);
    const xcb_window_t longest = probe_->openWindow(std::string(9000, 'x'), 0, 0, 50, 50);
    ASSERT_TRUE(waitUntil(
        [&] { return desktop_->mirror().find(none) && desktop_->mirror().find(longest); }));
    EXPECT_EQ(desktop_->mirror().find(none)->wmClass, "");
    EXPECT_EQ(desktop_->mirror().find(longest)->wmClass, std::string(2048, 'x'));
    probe_->setCardinals(a, "_NET_FRAME_EXTENTS", {0x7FFFFFFF, 0x80000000, 0x7FFFFFFF, 0x80000000});
    EXPECT_TRUE(waitUntil([&] { return position(first, "AXSize") == Point{4140, 2360}; }));
    EXPECT_FALSE(x_->hasError());
}

// Two RandR monitors on one Xvfb screen (the right one primary) and a 64-px dock on the left.
TEST_F(X11DesktopTest, ScreensAreTheMonitorsPrimaryFirstLessThePanelsWorkArea) {
    const std::vector<std::string> here{"DISPLAY=" + *display_.display()};
    ASSERT_EQ(
        kit::run({"xrandr", "--setmonitor", "*right", "960/254x1080/286+960+0", "none"}, here), 0);
    ASSERT_EQ(kit::run({"xrandr", "--setmonitor", "left", "960/254x1080/286+0+0", "screen"}, here),
              0);
    probe_->openDock(false, 64);
    ASSERT_TRUE(waitUntil([&] { return probe_->cardinal(probe_->root(), "_NET_WORKAREA") == 64u; }))
        << "openbox did not reserve the panel's strut";
    x11::X11Screens screens(*x_, nullptr);
    screens.start();
    // Right (primary): 960..1920, untouched by the panel. Left: 0..960 less the panel, 64..960.
    const std::vector<Screen> expected = {Screen({{960, 0}, {960, 1080}}, {{960, 0}, {960, 1080}}),
                                          Screen({{0, 0}, {960, 1080}}, {{64, 0}, {896, 1080}})};
    EXPECT_EQ(screens.screens(), expected);
    EXPECT_EQ(screens.mainScreen(), expected.front());
}

// A pager rewriting the root's properties in quick succession: the mirror and the screens ask as
// each change comes in, and only the answer to the last may count.
TEST_F(X11DesktopTest, TheLastOfQuickRootChangesIsTheOneInForce) {
    x11::X11Screens screens(*x_, nullptr);
    auto screensListener =
        x_->addListener([&](const xcb_generic_event_t& e) { return screens.handleEvent(e); });
    screens.start();
    const xcb_atom_t activeAtom = probe_->atom("_NET_ACTIVE_WINDOW");
    const xcb_atom_t areaAtom = probe_->atom("_NET_WORKAREA");
    int changes = 0;
    auto counter = x_->addListener([&](const xcb_generic_event_t& e) {
        const auto& p = reinterpret_cast<const xcb_property_notify_event_t&>(e);
        if ((e.response_type & 0x7f) == XCB_PROPERTY_NOTIFY && p.window == probe_->root() &&
            (p.atom == activeAtom || p.atom == areaAtom)) {
            ++changes;
        }
        return false;
    });
    // Both changes seen, and whatever that made us ask answered, before the next one is made.
    auto change = [&](std::uint32_t active, std::uint32_t left) {
        const int before = changes;
        probe_->setCardinals(probe_->root(), "_NET_ACTIVE_WINDOW", {active}, XCB_ATOM_WINDOW);
        probe_->setCardinals(probe_->root(), "_NET_WORKAREA", {left, 0, 1920 - left, 1080});
        probe_->sync();
        EXPECT_TRUE(waitUntil([&] { return changes >= before + 2; }));
        std::free(xcb_get_input_focus_reply(x_->conn(), xcb_get_input_focus(x_->conn()), nullptr));
    };
    auto visibleLeft = [&] { return screens.screens().at(0).visibleFrame.origin.x; };

    change(0x1111, 50);
    EXPECT_EQ(desktop_->mirror().activeWindow(), 0x1111u);
    EXPECT_EQ(visibleLeft(), 50);
    change(0x2222, 100);
    change(XCB_WINDOW_NONE, 200);
    EXPECT_EQ(desktop_->mirror().activeWindow(), std::nullopt);
    EXPECT_EQ(visibleLeft(), 200);
}

}  // namespace
}  // namespace tallowmere::x11test
