#include <cmath>

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
    // Around the centre of a and b (100..1300 × 100..800 → (700, 450)).
    const WindowId c = open(xterm, {0, 0});
    settle();
    expectRow({{a, {80, 300}}, {b, {500, 300}}, {c, {920, 300}}});

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

TEST_F(XTermStory, WindowsOpenMinimiseComeBackAndCloseAroundWhereTheRowStood) {
    settings.setShowFlashOverlay(true);
    settings.setAnimationEasing(EasingFunction::linear);
    // The first window is only watched for closing; a dialog is ignored and not watched; a window
    // closed before its turn is dropped.
    const WindowId a = open(xterm, {300, 200});
    const WindowId dialog =
        desktop.openWindow(xterm, {.position = {0, 0}, .size = {200, 100}, .subrole = "AXDialog"});
    desktop.closeWindow(open(xterm, {700, 400}));
    settle();
    EXPECT_EQ(subscriptions(a), 1u);
    EXPECT_EQ(subscriptions(dialog), 0u);
    EXPECT_TRUE(desktop.positionWrites().empty());

    // The second lines both up around the first one's centre (500, 350) 0.05 s later: a row 820
    // wide from x 90. The destinations flash at once, the new window's red, before the windows
    // glide there (bottom-left origins: y = 900 - 200 - 300).
    const WindowId b = open(xterm, {700, 400});
    loop.advance(kDelay - 0.001);
    EXPECT_TRUE(feedbackWindows.overlays().empty());
    loop.advance(0.002);
    EXPECT_EQ(feedbackWindows.overlayFrames(),
              (std::vector<Rect>{{{90, 400}, {400, 300}}, {{510, 400}, {400, 300}}}));
    EXPECT_EQ(feedbackWindows.overlayColors(),
              (std::vector<Color>{kSystemGreenColor, kSystemRedColor}));
    expectRow({{a, {300, 200}}, {b, {700, 400}}});
    settle();
    expectRow({{a, {90, 200}}, {b, {510, 200}}, {dialog, {0, 0}}});
    // A third opening on the left still joins on the right; the row is pushed inside the screen.
    const WindowId c = open(xterm, {0, 500});
    settle();
    expectRow({{a, {0, 200}}, {b, {420, 200}}, {c, {840, 200}}});

    // Minimising a closes the row up around the group's old centre, a included (0..1240 → 620).
    desktop.minimizeWindow(a);
    settle();
    expectRow({{b, {210, 200}}, {c, {630, 200}}, {a, {0, 200}}});
    // Restored, a comes back as a new window on the right, watched again.
    desktop.restoreWindow(a);
    settle();
    expectRow({{b, {0, 200}}, {c, {420, 200}}, {a, {840, 200}}});
    EXPECT_EQ(subscriptions(a), 2u);

    // c is minimised at (1000, 200) and dragged away before the handling runs: where it was at
    // the notice counts (0..1400 → 700).
    desktop.dragWindow(c, {1000, 200});
    desktop.minimizeWindow(c);
    loop.runDue();
    desktop.dragWindow(c, {0, 600});
    settle();
    expectRow({{b, {290, 200}}, {a, {710, 200}}});
    // a closes and can no longer be read: its remembered place stands in (290..1110 → 700). The
    // minimised c stays out.
    desktop.closeWindow(a);
    settle();
    expectRow({{b, {500, 200}}, {c, {0, 600}}});
    // c closes, its place unknown: one window alone has no centre to close up around.
    expectClosingChangesNothing(c);
    // Centred on the screen it needs none: d joins and leaves unremembered, b goes to the middle.
    settings.setAlignmentAnchor(AlignmentAnchor::screenCenter);
    const WindowId d = open(xterm, {0, 600});
    settle();
    expectRow({{b, {310, 200}}, {d, {730, 200}}});
    engine->forgetKnownRect(desktop.windowElement(d), xterm);
    desktop.closeWindow(d);
    settle();
    expectRow({{b, {520, 200}}});
    // The last window closing does nothing, and leaves only XTerm's three application-level
    // registrations behind.
    expectClosingChangesNothing(b);
    EXPECT_TRUE(engine->knownWindowRects.at(xterm).empty());
    EXPECT_EQ(desktop.registrations(xterm).size(), 3u);
}

TEST_F(XTermStory, ManualRealignAndWindowsThatCannotBeRead) {
    const WindowId a = open(xterm, {100, 100});
    settle();
    // Too few around their own centre (a banner, counted in the end), enough around the screen's.
    engine->realignFrontmostApp(AlignmentAnchor::windowCentroid);
    expectRow({{a, {100, 100}}});
    engine->realignFrontmostApp(AlignmentAnchor::screenCenter);
    expectRow({{a, {520, 100}}});

    // A new window whose size is not finite is neither handled nor watched.
    const WindowId e = open(xterm, {300, 200});
    desktop.overrideAttribute(e, "AXSize", {kAXErrorSuccess, AXValue{AXValueType::cgSize, 1, NAN}});
    settle();
    EXPECT_EQ(linesWith("新規ウィンドウの位置・サイズ取得に失敗 pid="), 1u);
    EXPECT_EQ(subscriptions(e), 0u);
    // With a window list that cannot be read, a new window is watched but not remembered, and
    // realigning does nothing, quietly.
    desktop.overrideApplicationAttribute(xterm, "AXWindows", {kAXErrorSuccess, AXOtherValue{}});
    const WindowId f = open(xterm, {300, 200});
    settle();
    EXPECT_EQ(linesWith("ウィンドウ一覧の取得に失敗 pid="), 1u);
    EXPECT_EQ(subscriptions(f), 1u);
    EXPECT_EQ(engine->knownWindowRects.at(xterm).size(), 1u);
    diagnostics.lines.clear();
    desktop.clearPositionWrites();
    engine->realignFrontmostApp(AlignmentAnchor::screenCenter);
    EXPECT_TRUE(diagnostics.lines.empty() && desktop.positionWrites().empty());

    // Refused for an unwatched, an unidentified, no frontmost and a paused application.
    for (std::optional<Pid> frontmost :
         {std::optional(launch("org.example.Editor")), std::optional(launch(std::nullopt)),
          std::optional<Pid>()}) {
        desktop.setFrontmostApplication(frontmost);
        engine->realignFrontmostApp(AlignmentAnchor::windowCentroid);
    }
    settings.setPausedBundleIdentifiers({"XTerm"});
    desktop.setFrontmostApplication(xterm);
    engine->realignFrontmostApp(AlignmentAnchor::screenCenter);
    std::vector<std::string> banners(5, "監視対象外のアプリです");
    banners[0] = "整理対象のウィンドウが足りません";
    EXPECT_EQ(feedbackWindows.bannerTexts(), banners);

    // Watched, but running unannounced since after the engine started: not followed.
    const Pid late = desktop.addRunningApplication("org.gnome.Nautilus");
    desktop.setFrontmostApplication(late);
    engine->realignFrontmostApp(AlignmentAnchor::windowCentroid);
    EXPECT_EQ(feedbackWindows.bannerTexts().size(), 5u);
}

}  // namespace
}  // namespace tallowmere::testing
