#include "scenario.h"

namespace tallowmere::testing {
namespace {

class WindowCreatedStory : public ScenarioTest {
  protected:
    WindowCreatedStory() { startEngine(); }
    Pid xterm = launch("XTerm");
};

TEST_F(WindowCreatedStory, FirstWindowIsOnlyRecorded) {
    const WindowId a = open(xterm, {300, 200});
    settle();
    expectRow({{a, {300, 200}}});
    ASSERT_EQ(engine->knownWindowRects.at(xterm).size(), 1u);
    EXPECT_EQ(engine->knownWindowRects.at(xterm)[0].position, (Point{300, 200}));
    EXPECT_EQ(linesContaining("既存の標準ウィンドウがないため整列不要 pid=").size(), 1u);
    EXPECT_EQ(registrationsFor(xterm, a), std::vector<std::string>{"AXUIElementDestroyed"});
}

TEST_F(WindowCreatedStory, SecondWindowLinesBothUpAroundTheFirstOnesCentreAfterTheDelay) {
    settings.setShowFlashOverlay(true);
    const WindowId a = open(xterm, {300, 200});
    settle();
    const WindowId b = open(xterm, {700, 400});
    loop.advance(kDelay - 0.001);
    expectRow({{b, {700, 400}}});
    loop.advance(0.002);
    // Centred on the first window's centre (500, 350): a row 820 wide from x 90.
    expectRow({{a, {90, 200}}, {b, {510, 200}}});
    EXPECT_EQ(feedbackWindows.overlayColors(),
              (std::vector<Color>{kSystemGreenColor, kSystemRedColor}));
    EXPECT_EQ(engine->lookupKnownRect(desktop.windowElement(b), xterm),
              (Rect{{510, 200}, {400, 300}}));
}

TEST_F(WindowCreatedStory, NewWindowGoesRightEvenWhenItOpensOnTheLeft) {
    const WindowId a = open(xterm, {600, 200});
    settle();
    const WindowId b = open(xterm, {900, 200});
    settle();
    expectRow({{a, {390, 200}}, {b, {810, 200}}});
    const WindowId c = open(xterm, {0, 200});
    settle();
    // Still centred on the group a and b formed (800), c on the right end.
    expectRow({{a, {180, 200}}, {b, {600, 200}}, {c, {1020, 200}}});

    // Placed by its own x instead: it opened at the far left, so it stays first.
    settings.setAlwaysOpenNewWindowOnRight(false);
    const WindowId d = open(xterm, {0, 600});
    settle();
    EXPECT_EQ(desktop.positionOf(d).x, 0);
    EXPECT_GT(desktop.positionOf(a).x, 0);
}

TEST_F(WindowCreatedStory, DialogsAreIgnoredAndNotWatchedForClosing) {
    const WindowId a = open(xterm, {300, 200});
    settle();
    const WindowId dialog =
        desktop.openWindow(xterm, {.position = {0, 0}, .size = {200, 100}, .subrole = "AXDialog"});
    settle();
    expectRow({{a, {300, 200}}, {dialog, {0, 0}}});
    EXPECT_EQ(linesContaining("非標準ウィンドウの生成通知のため無視 pid=").size(), 1u);
    EXPECT_TRUE(registrationsFor(xterm, dialog).empty());
}

TEST_F(WindowCreatedStory, WindowClosedBeforeItsTurnIsDropped) {
    const WindowId a = open(xterm, {300, 200});
    settle();
    const WindowId b = open(xterm, {700, 400});
    loop.advance(0.01);
    desktop.closeWindow(b);
    settle();
    expectRow({{a, {300, 200}}});
    EXPECT_EQ(linesContaining("整列実行").size(), 0u);
}

TEST_F(WindowCreatedStory, BurstOfWindowsIsHandledOncePerNotificationInOrder) {
    std::vector<WindowId> opened;
    for (int i = 0; i < 4; ++i) {
        opened.push_back(open(xterm, {100.0 * i, 200}, {200, 200}));
        loop.advance(0.002);
    }
    settle();
    // Every handling sees the whole burst; the last one handled ends on the right.
    const auto rows = linesContaining("整列実行");
    ASSERT_EQ(rows.size(), 4u);
    for (const std::string& row : rows) {
        EXPECT_NE(row.find(" count=4 "), std::string::npos) << row;
    }
    for (WindowId id : opened) {
        if (id != opened.back()) {
            EXPECT_GE(desktop.positionOf(opened.back()).x - desktop.positionOf(id).x, 220);
        }
    }
    EXPECT_EQ(engine->knownWindowRects.at(xterm).size(), 4u);
}

TEST_F(WindowCreatedStory, UnreadableWindowListSubscribesTheNewWindowButRecordsNothing) {
    desktop.overrideApplicationAttribute(xterm, "AXWindows", {kAXErrorCannotComplete, {}});
    const WindowId a = open(xterm, {300, 200});
    settle();
    EXPECT_EQ(linesContaining("ウィンドウ一覧の取得に失敗 pid=").size(), 1u);
    EXPECT_EQ(registrationsFor(xterm, a), std::vector<std::string>{"AXUIElementDestroyed"});
    EXPECT_FALSE(engine->knownWindowRects.contains(xterm));
}

TEST_F(WindowCreatedStory, UnreadableNewWindowIsNotHandled) {
    const WindowId a = open(xterm, {300, 200});
    desktop.overrideAttribute(a, "AXSize", {kAXErrorCannotComplete, {}});
    settle();
    EXPECT_EQ(linesContaining("新規ウィンドウの位置・サイズ取得に失敗 pid=").size(), 1u);
    EXPECT_TRUE(registrationsFor(xterm, a).empty());
}

}  // namespace
}  // namespace tallowmere::testing
