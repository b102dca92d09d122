#include "engine_fixture.h"

namespace tallowmere::testing {
namespace {

using ApplicationObservationTest = ScenarioTest;

TEST_F(ApplicationObservationTest, FollowsWatchedApplicationsOnceTrustedAtStartAndOnLaunch) {
    const Pid early = desktop.addRunningApplication("XTerm");
    const WindowId p = open(early, {100, 100}), q = open(early, {700, 100}),
                   r = open(early, {1000, 500});
    // Standard windows only: not dialogs, windows without a subrole, nor file dialogs; a
    // minimised preferences window is one.
    const WindowId prefs = desktop.openWindow(early, {.minimized = true, .identifier = "Prefs"});
    desktop.openWindow(early, {.subrole = "AXDialog"});
    desktop.openWindow(early, {.subrole = std::nullopt});
    desktop.openWindow(early, {.identifier = "open-panel"});
    const Pid other = desktop.addRunningApplication("org.example.Editor");
    desktop.setTrusted(false);
    startEngine();
    engine->reconcileObservations();
    EXPECT_EQ(desktop.workspaceObserverCount(), 0u);
    EXPECT_TRUE(desktop.observerOperations().empty());

    // Trusted: registered in order, attached, and the standard windows watched for closing.
    desktop.setTrusted(true);
    startEngine();
    EXPECT_EQ(operationsOf(early),
              (std::vector<std::string>{"create", "add app AXWindowCreated",
                                        "add app AXWindowMiniaturized",
                                        "add app AXWindowDeminiaturized", "attach", watching(p),
                                        watching(q), watching(r), watching(prefs)}));
    // r was never read: it closes up on the centre of p and q alone (100..1100 → 600).
    desktop.closeWindow(r);
    settle();
    expectRow({{p, {190, 100}}, {q, {610, 100}}});

    // Never followed: no identifier, not watched, notices without an application. A launch
    // noticed again leaves one observer.
    const Pid late = launch("org.gnome.Nautilus");
    const Pid anonymous = launch(std::nullopt);
    const Pid editor = launch("org.example.Editor");
    desktop.postMalformedLaunch();
    desktop.postMalformedTerminate();
    loop.runDue();
    engine->handleAppLaunched({RunningApplication{early, "XTerm"}});
    engine->reconcileObservations();
    EXPECT_TRUE(desktop.observerAttached(late));
    EXPECT_EQ(desktop.liveObserverCount(other) + desktop.liveObserverCount(anonymous) +
                  desktop.liveObserverCount(editor),
              0u);
    EXPECT_EQ(desktop.liveObserverCount(early), 1u);
    EXPECT_EQ(engine->observations.size(), 2u);

    // An observer that cannot be made, or whose first registration fails, is reported and not
    // kept; it is tried again later. Later registrations failing does not matter.
    desktop.failObserverCreate(2000, -25204);
    desktop.failAddNotification(2001, "AXWindowCreated", -25211);
    desktop.failAddNotification(2002, "AXWindowMiniaturized", -25211);
    launch("XTerm", 2000);
    launch("XTerm", 2001);
    launch("XTerm", 2002);
    EXPECT_EQ(linesWith("失敗 pid=200"), 2u);
    EXPECT_EQ(desktop.liveObserverCount(2001), 0u);
    EXPECT_EQ(engine->observations.size(), 3u);
    desktop.failObserverCreate(2000, std::nullopt);
    desktop.failAddNotification(2001, "AXWindowCreated", std::nullopt);
    engine->reconcileObservations();
    EXPECT_EQ(engine->observations.size(), 5u);
}

TEST_F(XTermStory, PausingUnpausingAndQuittingWithWorkPending) {
    const WindowId a = open(xterm, {100, 100});
    settle();
    // b opens just before the pause: its opening is noticed before and handled after it.
    const WindowId b = open(xterm, {900, 500});
    loop.runDue();
    settings.setPausedBundleIdentifiers({"XTerm"});
    engine->reconcileObservations();
    EXPECT_FALSE(engine->knownWindowRects.contains(xterm));
    const auto ops = operationsOf(xterm);
    EXPECT_EQ(
        std::vector<std::string>(ops.end() - 5, ops.end()),
        (std::vector<std::string>{"remove app AXWindowCreated", "remove app AXWindowMiniaturized",
                                  "remove app AXWindowDeminiaturized", "detach", "release"}));
    // Its windows are no longer arranged nor watched; launched again while paused, it is not
    // followed.
    const Pid second = launch("XTerm");
    settle();
    expectRow({{a, {100, 100}}, {b, {900, 500}}});
    EXPECT_EQ(operationsOf(xterm).back(), "release");
    EXPECT_FALSE(engine->observations.contains(second));

    settings.setPausedBundleIdentifiers({});
    engine->reconcileObservations();
    EXPECT_TRUE(engine->observations.contains(second));

    // XTerm quits while a closing and an opening still wait to be handled.
    open(xterm, {600, 100});
    desktop.closeWindow(a);
    desktop.terminateApplication(xterm);
    loop.runDue();
    EXPECT_EQ(desktop.liveObserverCount(xterm), 0u);
    diagnostics.lines.clear();
    settle();
    EXPECT_FALSE(engine->knownWindowRects.contains(xterm));
    EXPECT_EQ(linesWith("整列実行"), 0u);
}

TEST_F(XTermStory, StoppingUnregistersAndStopsTheAnimationAndAnEngineGoneLeavesNoTrace) {
    const Pid files = launch("org.gnome.Nautilus");
    settings.setAnimationEasing(EasingFunction::linear);
    const WindowId a = open(xterm, {100, 100});
    settle();
    const WindowId b = open(xterm, {700, 100});
    loop.advance(kDelay + 0.1);
    ASSERT_NE(engine->animationTimer, nullptr);
    Point stopped = desktop.positionOf(a);
    engine->stopMonitoring();
    EXPECT_EQ(desktop.workspaceObserverCount(), 0u);
    EXPECT_FALSE(desktop.observerAttached(xterm));
    EXPECT_EQ(desktop.liveObserverCount(files), 0u);
    desktop.closeWindow(b);  // unnoticed
    settle();
    EXPECT_EQ(desktop.positionOf(a), stopped);

    // Started again, a glides to the middle of the screen and c opens; the engine goes before its
    // next tick and before c is handled, its observer detached first.
    engine->startMonitoring();
    engine->realignFrontmostApp(AlignmentAnchor::screenCenter);
    const WindowId c = open(xterm, {0, 500});
    loop.advance(0.02);
    engine.reset();
    stopped = desktop.positionOf(a);
    EXPECT_NE(stopped.x, 520);
    const auto ops = operationsOf(xterm);
    EXPECT_EQ(std::vector<std::string>(ops.end() - 2, ops.end()),
              (std::vector<std::string>{"detach", "release"}));
    EXPECT_EQ(desktop.workspaceObserverCount(), 0u);
    settle();
    EXPECT_EQ(desktop.positionOf(a), stopped);
    EXPECT_EQ(desktop.positionOf(c), (Point{0, 500}));
    EXPECT_EQ(loop.activeTimerCount(), 0u);
}

}  // namespace
}  // namespace tallowmere::testing
