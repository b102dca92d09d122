#include "scenario.h"

namespace tallowmere::testing {
namespace {

class ApplicationObservationTest : public ScenarioTest {
  protected:
    std::vector<std::string> operationsOf(Pid pid) const {
        std::vector<std::string> ops;
        for (const auto& op : desktop.observerOperations()) {
            if (op.pid == pid) {
                ops.push_back(op.what + (op.element.empty() ? "" : " " + op.element) +
                              (op.notification.empty() ? "" : " " + op.notification));
            }
        }
        return ops;
    }
};

TEST_F(ApplicationObservationTest, FollowsWatchedApplicationsRunningAtStartAndLaunchedLater) {
    const Pid early = desktop.addRunningApplication("XTerm");
    const Pid other = desktop.addRunningApplication("org.example.Editor");
    startEngine();
    EXPECT_TRUE(engine->observations.contains(early));
    EXPECT_FALSE(engine->observations.contains(other));
    EXPECT_EQ(operationsOf(early),
              (std::vector<std::string>{"create", "add app AXWindowCreated",
                                        "add app AXWindowMiniaturized",
                                        "add app AXWindowDeminiaturized", "attach"}));
    EXPECT_EQ(diagnostics.lines, std::vector<std::string>{"監視開始 pid=" + std::to_string(early)});

    const Pid late = launch("org.gnome.Nautilus");
    EXPECT_TRUE(engine->observations.contains(late));
    EXPECT_TRUE(desktop.observerAttached(late));
    const auto& record = engine->observations.at(late);
    EXPECT_EQ(record.refcon, record.context.get());
    EXPECT_EQ(record.context->pid, late);
    EXPECT_EQ(record.context->manager, engine.get());
}

TEST_F(ApplicationObservationTest, UntrustedEngineRegistersNothing) {
    desktop.setTrusted(false);
    desktop.addRunningApplication("XTerm");
    startEngine();
    engine->reconcileObservations();
    EXPECT_EQ(desktop.workspaceObserverCount(), 0u);
    EXPECT_TRUE(desktop.observerOperations().empty());
}

TEST_F(ApplicationObservationTest, ApplicationsWithoutIdentifierOrUnwatchedAreNeverFollowed) {
    startEngine();
    const Pid anonymous = launch(std::nullopt);
    const Pid editor = launch("org.example.Editor");
    desktop.postMalformedLaunch();
    desktop.postMalformedTerminate();
    loop.runDue();
    engine->reconcileObservations();
    EXPECT_TRUE(engine->observations.empty());
    EXPECT_EQ(desktop.liveObserverCount(anonymous) + desktop.liveObserverCount(editor), 0u);
}

TEST_F(ApplicationObservationTest, RepeatedLaunchNoticesLeaveOneObserver) {
    const Pid xterm = desktop.addRunningApplication("XTerm");
    startEngine();
    engine->handleAppLaunched({RunningApplication{xterm, "XTerm"}});
    engine->handleAppLaunched({RunningApplication{xterm, "XTerm"}});
    engine->reconcileObservations();
    EXPECT_EQ(desktop.liveObserverCount(xterm), 1u);
    EXPECT_EQ(engine->observations.size(), 1u);
}

TEST_F(ApplicationObservationTest, PausingTearsDownInOrderAndForgetsAndUnpausingFollowsAgain) {
    startEngine();
    const Pid xterm = launch("XTerm");
    const WindowId a = open(xterm, {100, 100});
    settle();
    ASSERT_TRUE(engine->knownWindowRects.contains(xterm));

    settings.setPausedBundleIdentifiers({"XTerm"});
    engine->reconcileObservations();
    EXPECT_FALSE(engine->observations.contains(xterm));
    EXPECT_FALSE(engine->knownWindowRects.contains(xterm));
    const auto ops = operationsOf(xterm);
    ASSERT_GE(ops.size(), 5u);
    EXPECT_EQ(
        std::vector<std::string>(ops.end() - 5, ops.end()),
        (std::vector<std::string>{"remove app AXWindowCreated", "remove app AXWindowMiniaturized",
                                  "remove app AXWindowDeminiaturized", "detach", "release"}));
    // Its windows are no longer arranged.
    const WindowId b = open(xterm, {900, 500});
    settle();
    expectRow({{a, {100, 100}}, {b, {900, 500}}});

    // A paused application launched again is not followed either.
    const Pid second = launch("XTerm");
    EXPECT_FALSE(engine->observations.contains(second));

    settings.setPausedBundleIdentifiers({});
    engine->reconcileObservations();
    EXPECT_TRUE(engine->observations.contains(xterm));
    EXPECT_TRUE(engine->observations.contains(second));
    const WindowId c = open(xterm, {0, 0});
    settle();
    EXPECT_EQ(linesContaining("整列実行 pid=" + std::to_string(xterm) + " count=3").size(), 1u);
    expectRow({{c, {desktop.positionOf(b).x + 420, desktop.positionOf(c).y}}});
}

TEST_F(ApplicationObservationTest, TerminationTearsDownAndPendingWorkIsHarmless) {
    startEngine();
    const Pid xterm = launch("XTerm");
    const WindowId a = open(xterm, {100, 100});
    settle();
    open(xterm, {600, 100});
    desktop.closeWindow(a);
    // Both handlings are still waiting when the application quits.
    desktop.terminateApplication(xterm);
    loop.runDue();
    EXPECT_FALSE(engine->observations.contains(xterm));
    EXPECT_FALSE(engine->knownWindowRects.contains(xterm));
    diagnostics.lines.clear();
    settle();
    EXPECT_EQ(desktop.liveObserverCount(xterm), 0u);
    EXPECT_FALSE(engine->knownWindowRects.contains(xterm));
    EXPECT_EQ(linesContaining("整列実行").size(), 0u);

    // A second notice for the same pid, and one for a pid never followed, change nothing.
    engine->handleAppTerminated({RunningApplication{xterm, "XTerm"}});
    engine->handleAppTerminated({RunningApplication{4242, "XTerm"}});
    EXPECT_TRUE(engine->observations.empty());
}

TEST_F(ApplicationObservationTest, ObserverFailuresAreReportedAndRetriedAtTheNextLaunch) {
    startEngine();
    desktop.failObserverCreate(1000, -25204);
    const Pid first = launch("XTerm");
    ASSERT_EQ(first, 1000);
    EXPECT_EQ(diagnostics.lines.back(), "AXObserverCreate 失敗 pid=1000: -25204");

    desktop.failAddNotification(1001, "AXWindowCreated", -25211);
    const Pid second = launch("XTerm");
    EXPECT_EQ(diagnostics.lines.back(), "AXObserverAddNotification 失敗 pid=1001: -25211");
    EXPECT_TRUE(engine->observations.empty());
    EXPECT_FALSE(desktop.observerAttached(second));
    EXPECT_EQ(desktop.liveObserverCount(second), 0u);

    // Later registrations failing does not matter.
    desktop.failAddNotification(1002, "AXWindowMiniaturized", -25211);
    const Pid third = launch("XTerm");
    EXPECT_TRUE(engine->observations.contains(third));

    desktop.failObserverCreate(first, std::nullopt);
    desktop.failAddNotification(second, "AXWindowCreated", std::nullopt);
    engine->reconcileObservations();
    EXPECT_EQ(engine->observations.size(), 3u);
}

TEST_F(ApplicationObservationTest, IgnoresNotificationsWithoutContextOrOfUnknownKinds) {
    startEngine();
    const Pid xterm = launch("XTerm");
    const WindowId a = open(xterm, {100, 100});
    settle();
    const std::size_t pending = loop.pendingWorkCount();
    WindowCascadeManager::observerCallback(nullptr, desktop.windowElement(a), "AXWindowCreated",
                                           nullptr);
    engine->handleAccessibilityNotification(desktop.windowElement(a), "AXWindowCreated", nullptr);
    auto* context = engine->observations.at(xterm).context.get();
    engine->handleAccessibilityNotification(desktop.windowElement(a), "AXFocusedWindowChanged",
                                            context);
    EXPECT_EQ(loop.pendingWorkCount(), pending);

    // The same callback with the registered context does reach the handler.
    WindowCascadeManager::observerCallback(nullptr, desktop.windowElement(a),
                                           "AXWindowDeminiaturized", context);
    EXPECT_EQ(loop.pendingWorkCount(), pending + 1);
}

TEST_F(ApplicationObservationTest, StopMonitoringUnregistersEverythingAndStopsTheAnimation) {
    startEngine();
    const Pid xterm = launch("XTerm");
    const Pid files = launch("org.gnome.Nautilus");
    settings.setAnimationEasing(EasingFunction::linear);
    const WindowId a = open(xterm, {100, 100});
    settle();
    const WindowId b = open(xterm, {700, 100});
    loop.advance(kDelay + 0.1);
    ASSERT_NE(engine->animationTimer, nullptr);
    const Point stopped = desktop.positionOf(a);

    engine->stopMonitoring();
    EXPECT_TRUE(engine->observations.empty());
    EXPECT_EQ(engine->animationTimer, nullptr);
    EXPECT_EQ(desktop.workspaceObserverCount(), 0u);
    EXPECT_FALSE(desktop.observerAttached(xterm));
    EXPECT_EQ(desktop.liveObserverCount(files), 0u);
    // Remembered rectangles stay.
    EXPECT_TRUE(engine->knownWindowRects.contains(xterm));

    settle();
    EXPECT_EQ(desktop.positionOf(a), stopped);
    desktop.closeWindow(b);
    launch("XTerm");
    settle();
    EXPECT_TRUE(engine->observations.empty());
}

TEST_F(ApplicationObservationTest, ClosingReadingsAreTakenWhenTheNoticeArrives) {
    startEngine();
    const Pid xterm = launch("XTerm");
    const WindowId a = open(xterm, {100, 100});
    settle();
    const WindowId b = open(xterm, {700, 100});
    settle();
    const WindowId c = open(xterm, {0, 500});
    settle();
    expectRow({{a, {0, 100}}, {b, {420, 100}}, {c, {840, 100}}});
    // Minimised at 1040; moved again before the handling runs: the notice-time place counts.
    desktop.dragWindow(c, {1040, 100});
    desktop.minimizeWindow(c);
    loop.runDue();
    desktop.dragWindow(c, {0, 100});
    settle();
    expectRow({{a, {310, 100}}, {b, {730, 100}}});
}

TEST_F(ApplicationObservationTest, EngineGoneBeforeItsWorkRunsIsHarmless) {
    startEngine();
    const Pid xterm = launch("XTerm");
    const WindowId a = open(xterm, {100, 100});
    settle();
    open(xterm, {700, 100});
    desktop.closeWindow(a);
    loop.runDue();
    engine.reset();
    EXPECT_EQ(desktop.liveObserverCount(xterm), 0u);
    EXPECT_EQ(desktop.workspaceObserverCount(), 0u);
    settle();
    launch("XTerm");
    settle();
}

}  // namespace
}  // namespace tallowmere::testing
