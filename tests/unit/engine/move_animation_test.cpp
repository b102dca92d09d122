#include <set>

#include "engine_fixture.h"

namespace tallowmere::testing {
namespace {

constexpr double kTick = 1.0 / 60.0;

class MoveAnimationTest : public EngineFixture {
  protected:
    MoveAnimationTest() {
        useSingleScreen();
        settings.setAnimationDuration(0.5);
    }

    WindowMove moveOf(WindowId id, Point end) const {
        return WindowMove{desktop.windowElement(id), desktop.positionOf(id), end,
                          desktop.sizeOf(id)};
    }

    std::vector<Point> writesTo(WindowId id) const {
        std::vector<Point> points;
        for (const auto& write : desktop.positionWrites()) {
            if (write.window == id) {
                points.push_back(write.point);
            }
        }
        return points;
    }

    Pid pid = desktop.addRunningApplication("org.xterm");
    WindowId a = desktop.openWindow(pid, {.position = {0, 100}, .size = {400, 300}});
    WindowId b = desktop.openWindow(pid, {.position = {500, 100}, .size = {400, 300}});
};

TEST_F(MoveAnimationTest, InstantEasingWritesEachTargetOnceAndCancelsARunningAnimation) {
    settings.setAnimationEasing(EasingFunction::linear);
    engine->animateMoves({moveOf(a, {900, 100})}, desktop.mainScreen());
    loop.advance(kTick);
    ASSERT_NE(engine->animationTimer, nullptr);

    settings.setAnimationEasing(EasingFunction::none);
    desktop.clearPositionWrites();
    engine->animateMoves({moveOf(a, {10, 10}), moveOf(b, {20, 20})}, desktop.mainScreen());
    EXPECT_EQ(engine->animationTimer, nullptr);
    loop.advance(1);
    EXPECT_EQ(writesTo(a), std::vector<Point>{(Point{10, 10})});
    EXPECT_EQ(writesTo(b), std::vector<Point>{(Point{20, 20})});
    EXPECT_EQ(loop.activeTimerCount(), 0u);
}

TEST_F(MoveAnimationTest, GlidesAlongTheCurveByElapsedTimeAndEndsExactlyAtTheTarget) {
    settings.setAnimationEasing(EasingFunction::linear);
    engine->animateMoves({moveOf(a, {600, 400})}, desktop.mainScreen());
    loop.advance(15 * kTick);
    EXPECT_NEAR(desktop.positionOf(a).x, 600 * 0.5, 1e-6);
    EXPECT_NEAR(desktop.positionOf(a).y, 100 + 300 * 0.5, 1e-6);
    loop.advance(0.5);
    EXPECT_EQ(desktop.positionOf(a), (Point{600, 400}));
    EXPECT_EQ(engine->animationTimer, nullptr);
    EXPECT_EQ(loop.activeTimerCount(), 0u);
}

TEST_F(MoveAnimationTest, OvershootingCurvesStillEndExactlyAtTheTarget) {
    for (EasingFunction easing : {EasingFunction::bouncy, EasingFunction::snappy,
                                  EasingFunction::billiards, EasingFunction::gravity}) {
        SCOPED_TRACE(std::string(rawValue(easing)));
        settings.setAnimationEasing(easing);
        desktop.dragWindow(a, {0, 100});
        desktop.clearPositionWrites();
        engine->animateMoves({moveOf(a, {700, 300})}, desktop.mainScreen());
        loop.advance(1);
        EXPECT_EQ(desktop.positionOf(a), (Point{700, 300}));
        EXPECT_EQ(engine->animationTimer, nullptr);
        // One write a tick, at most 31 ticks for half a second.
        EXPECT_GE(writesTo(a).size(), 30u);
        EXPECT_LE(writesTo(a).size(), 31u);
    }
}

TEST_F(MoveAnimationTest, StartingAnotherRunStopsTheOldOneWhereItStood) {
    settings.setAnimationEasing(EasingFunction::linear);
    engine->animateMoves({moveOf(a, {600, 100})}, desktop.mainScreen());
    loop.advance(15 * kTick);
    const Point halfway = desktop.positionOf(a);
    auto first = engine->animationTimer;

    engine->animateMoves({moveOf(b, {500, 500})}, desktop.mainScreen());
    EXPECT_FALSE(first->isValid());
    EXPECT_NE(engine->animationTimer, first);
    EXPECT_EQ(loop.activeTimerCount(), 1u);
    loop.advance(1);
    EXPECT_EQ(desktop.positionOf(a), halfway);
    EXPECT_EQ(desktop.positionOf(b), (Point{500, 500}));
}

TEST_F(MoveAnimationTest, RandomAnnouncesItsPickAndKeepsItForTheWholeRun) {
    settings.setAnimationEasing(EasingFunction::random);
    std::set<std::string> seen;
    bool sawLinearRun = false;
    for (int run = 0; run < 40; ++run) {
        desktop.dragWindow(a, {0, 100});
        engine->animateMoves({moveOf(a, {600, 100})}, desktop.mainScreen());
        const std::string label = feedbackWindows.bannerTexts().back();
        seen.insert(label);
        loop.advance(15 * kTick);
        if (label == displayName(EasingFunction::linear)) {
            // Linear for the whole run: exactly halfway at half time.
            EXPECT_NEAR(desktop.positionOf(a).x, 300, 1e-6);
            sawLinearRun = true;
        }
        loop.advance(1);
        EXPECT_EQ(desktop.positionOf(a), (Point{600, 100}));
    }
    EXPECT_EQ(feedbackWindows.bannerTexts().size(), 40u);
    EXPECT_FALSE(seen.contains(std::string(displayName(EasingFunction::none))));
    EXPECT_FALSE(seen.contains(std::string(displayName(EasingFunction::random))));
    EXPECT_GE(seen.size(), 6u);
    EXPECT_TRUE(sawLinearRun);
}

TEST_F(MoveAnimationTest, AFailingWriteIsReportedEachTickWithoutStoppingTheOthers) {
    settings.setAnimationEasing(EasingFunction::none);
    desktop.failPositionWrites(a, -25204);
    engine->animateMoves({moveOf(a, {10, 10}), moveOf(b, {20, 20})}, desktop.mainScreen());
    EXPECT_EQ(desktop.positionOf(b), (Point{20, 20}));
    EXPECT_EQ(diagnostics.lines, std::vector<std::string>{"ウィンドウ位置の設定に失敗: -25204"});

    settings.setAnimationEasing(EasingFunction::linear);
    settings.setAnimationDuration(0.1);
    diagnostics.lines.clear();
    desktop.clearPositionWrites();
    engine->animateMoves({moveOf(a, {50, 50}), moveOf(b, {60, 60})}, desktop.mainScreen());
    loop.advance(1);
    EXPECT_EQ(desktop.positionOf(b), (Point{60, 60}));
    EXPECT_EQ(diagnostics.lines.size(), writesTo(a).size());
    EXPECT_GE(diagnostics.lines.size(), 6u);
}

TEST_F(MoveAnimationTest, TooShortDurationsEndOnTheFirstTick) {
    settings.setAnimationEasing(EasingFunction::easeIn);
    for (double duration : {0.0, -3.0, 0.001}) {
        settings.setAnimationDuration(duration);
        desktop.clearPositionWrites();
        engine->animateMoves({moveOf(a, {duration + 100, 0})}, desktop.mainScreen());
        loop.advance(kTick);
        EXPECT_EQ(engine->animationTimer, nullptr) << duration;
        EXPECT_EQ(writesTo(a), std::vector<Point>{(Point{duration + 100, 0})});
    }
}

TEST_F(MoveAnimationTest, KeepsMovingWhileAMenuIsOpen) {
    settings.setAnimationEasing(EasingFunction::linear);
    loop.setMenuOpen(true);
    engine->animateMoves({moveOf(a, {600, 100})}, desktop.mainScreen());
    loop.advance(1);
    EXPECT_EQ(desktop.positionOf(a), (Point{600, 100}));
}

TEST_F(MoveAnimationTest, ARunOutlivingItsEngineStopsOnItsNextTick) {
    settings.setAnimationEasing(EasingFunction::linear);
    engine->animateMoves({moveOf(a, {600, 100})}, desktop.mainScreen());
    loop.advance(kTick);
    const Point stopped = desktop.positionOf(a);
    engine.reset();
    loop.advance(1);
    EXPECT_EQ(desktop.positionOf(a), stopped);
    EXPECT_EQ(loop.activeTimerCount(), 0u);
}

}  // namespace
}  // namespace tallowmere::testing
