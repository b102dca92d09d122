#include "scenario.h"

namespace tallowmere::testing {
namespace {

// XTerm has three windows in a row: a (0, 200), b (420, 200), c (840, 200), each 400×300.
class WindowGoneStory : public ScenarioTest {
  protected:
    WindowGoneStory() {
        startEngine();
        a = open(xterm, {300, 200});
        settle();
        b = open(xterm, {700, 400});
        settle();
        c = open(xterm, {0, 500});
        settle();
        // a and b stood around 500; c joined on the right and the row was pushed inside.
        expectRow({{a, {0, 200}}, {b, {420, 200}}, {c, {840, 200}}});
        diagnostics.lines.clear();
    }

    Pid xterm = launch("XTerm");
    WindowId a = 0, b = 0, c = 0;
};

TEST_F(WindowGoneStory, MinimisingClosesTheRowUpAroundWhereTheGroupStood) {
    desktop.minimizeWindow(c);
    settle();
    // The centre still counts c's rectangle (0..1240 → 620).
    expectRow({{a, {210, 200}}, {b, {630, 200}}, {c, {840, 200}}});
    EXPECT_EQ(engine->lookupKnownRect(desktop.windowElement(c), xterm), std::nullopt);
    EXPECT_EQ(diagnostics.lines.front(), "ウィンドウの終了を検知、残り2枚を再整列 pid=" +
                                             std::to_string(xterm) + " closingRect解決=成功");
}

TEST_F(WindowGoneStory, RestoringBringsTheWindowBackAsANewOneOnTheRight) {
    settings.setShowFlashOverlay(true);
    desktop.minimizeWindow(a);
    settle();
    expectRow({{b, {210, 200}}, {c, {630, 200}}});
    desktop.restoreWindow(a);
    settle();
    expectRow({{b, {0, 200}}, {c, {420, 200}}, {a, {840, 200}}});
    const auto colors = feedbackWindows.overlayColors();
    ASSERT_EQ(colors.size(), 5u);
    EXPECT_EQ(colors.back(), kSystemRedColor);
    // Subscribed for its closing again (a second registration is refused by the system and
    // harmless).
    EXPECT_EQ(registrationsFor(xterm, a), std::vector<std::string>{"AXUIElementDestroyed"});
}

TEST_F(WindowGoneStory, MinimisedWindowStaysOutWhenAnotherCloses) {
    desktop.minimizeWindow(b);
    settle();
    const Point bAt = desktop.positionOf(b);
    desktop.closeWindow(c);
    settle();
    EXPECT_EQ(desktop.positionOf(b), bAt);
    // c could not be read any more: its remembered destination stands in.
    EXPECT_EQ(
        linesContaining("残り1枚を再整列 pid=" + std::to_string(xterm) + " closingRect解決=成功")
            .size(),
        1u);
}

TEST_F(WindowGoneStory, LastWindowClosingDoesNothing) {
    desktop.closeWindow(a);
    settle();
    desktop.closeWindow(b);
    settle();
    diagnostics.lines.clear();
    desktop.clearPositionWrites();
    desktop.closeWindow(c);
    settle();
    EXPECT_TRUE(diagnostics.lines.empty());
    EXPECT_TRUE(desktop.positionWrites().empty());
    EXPECT_TRUE(engine->knownWindowRects.at(xterm).empty());
}

TEST_F(WindowGoneStory, OneRemainingWindowNeedsTheDepartedRectangleUnlessCentredOnScreen) {
    desktop.closeWindow(a);
    settle();
    // b remains with c's remembered rectangle: centred between them.
    engine->forgetKnownRect(desktop.windowElement(c), xterm);
    desktop.clearPositionWrites();
    desktop.closeWindow(c);
    settle();
    // c's rectangle is unknown and unreadable: one reference rectangle, nothing happens.
    EXPECT_TRUE(desktop.positionWrites().empty());

    settings.setAlignmentAnchor(AlignmentAnchor::screenCenter);
    const WindowId d = open(xterm, {0, 600});
    settle();
    desktop.closeWindow(d);
    settle();
    expectRow({{b, {520, desktop.positionOf(b).y}}});
    EXPECT_EQ(linesContaining("closingRect解決=").size(), 2u);
}

class PreexistingWindowsStory : public ScenarioTest {};

TEST_F(PreexistingWindowsStory, ClosingAWindowNeverReadFallsBackToTheOthersCentre) {
    const Pid xterm = desktop.addRunningApplication("XTerm");
    const WindowId p = open(xterm, {100, 100});
    const WindowId q = open(xterm, {700, 100});
    const WindowId r = open(xterm, {1000, 500});
    startEngine();
    EXPECT_EQ(registrationsFor(xterm, r), std::vector<std::string>{"AXUIElementDestroyed"});
    desktop.closeWindow(r);
    settle();
    EXPECT_EQ(linesContaining("closingRect解決=失敗").size(), 1u);
    // Centre of p and q alone: 100..1100 → 600.
    expectRow({{p, {190, 100}}, {q, {610, 100}}});
}

TEST_F(PreexistingWindowsStory, OnlyStandardWindowsAreWatchedForClosingAtStart) {
    const Pid xterm = desktop.addRunningApplication("XTerm");
    const WindowId p = open(xterm, {100, 100});
    const WindowId dialog = desktop.openWindow(xterm, {.subrole = "AXDialog"});
    startEngine();
    EXPECT_EQ(registrationsFor(xterm, p), std::vector<std::string>{"AXUIElementDestroyed"});
    EXPECT_TRUE(registrationsFor(xterm, dialog).empty());
    EXPECT_FALSE(engine->knownWindowRects.contains(xterm));
}

}  // namespace
}  // namespace tallowmere::testing
