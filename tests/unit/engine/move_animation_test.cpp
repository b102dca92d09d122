#include <ranges>
#include <tuple>

#include "engine_fixture.h"

namespace tallowmere::testing {
namespace {

constexpr double kTick = 1.0 / 60.0;

// Two 400×300 windows, a at (0, 100) and b at (500, 100); linear half-second moves.
class MoveAnimationTest : public EngineFixture {
  protected:
    MoveAnimationTest() {
        settings.setAnimationEasing(EasingFunction::linear);
        settings.setAnimationDuration(0.5);
    }

    void animate(const std::vector<std::pair<WindowId, Point>>& targets) {
        std::vector<WindowMove> moves;
        for (const auto& [id, end] : targets) {
            moves.push_back(
                {desktop.windowElement(id), desktop.positionOf(id), end, desktop.sizeOf(id)});
        }
        engine->animateMoves(moves, desktop.mainScreen());
    }

    std::vector<Point> writesTo(WindowId id) const {
        auto points = desktop.positionWrites() |
                      std::views::filter([id](const auto& write) { return write.window == id; }) |
                      std::views::transform(&sim::PositionWrite::point);
        return {points.begin(), points.end()};
    }

    Pid pid = desktop.addRunningApplication("org.xterm");
    WindowId a = desktop.openWindow(pid, {.position = {0, 100}, .size = {400, 300}});
    WindowId b = desktop.openWindow(pid, {.position = {500, 100}, .size = {400, 300}});
};

TEST_F(MoveAnimationTest, RunsGlideByElapsedTimeEvenInAMenuAndEachNewRunStopsTheOldOne) {
    loop.setMenuOpen(true);
    animate({{a, {600, 400}}});
    loop.advance(15 * kTick);
    const Point halfway = desktop.positionOf(a);
    EXPECT_NEAR(halfway.x, 300, 1e-6);
    EXPECT_NEAR(halfway.y, 250, 1e-6);
    animate({{b, {500, 500}}});
    EXPECT_EQ(loop.activeTimerCount(), 1u);
    loop.advance(1);
    EXPECT_EQ(desktop.positionOf(a), halfway);
    EXPECT_EQ(desktop.positionOf(b), (Point{500, 500}));
    EXPECT_EQ(loop.activeTimerCount(), 0u);

    // A failing write is reported at each tick (30 or 31 in half a second) without stopping the
    // other window's move.
    desktop.failPositionWrites(a, -25204);
    desktop.clearPositionWrites();
    animate({{a, {50, 50}}, {b, {60, 60}}});
    loop.advance(1);
    EXPECT_EQ(desktop.positionOf(b), (Point{60, 60}));
    EXPECT_GE(writesTo(a).size(), 30u);
    EXPECT_LE(writesTo(a).size(), 31u);
    EXPECT_EQ(diagnostics.lines,
              std::vector<std::string>(writesTo(a).size(), "ウィンドウ位置の設定に失敗: -25204"));
    desktop.failPositionWrites(a, std::nullopt);

    // An instant run writes each target once and cancels the running one.
    animate({{a, {900, 100}}});
    loop.advance(kTick);
    settings.setAnimationEasing(EasingFunction::none);
    desktop.clearPositionWrites();
    animate({{a, {10, 10}}, {b, {20, 20}}});
    EXPECT_EQ(loop.activeTimerCount(), 0u);
    loop.advance(1);
    EXPECT_EQ(writesTo(a), std::vector<Point>{(Point{10, 10})});
    EXPECT_EQ(writesTo(b), std::vector<Point>{(Point{20, 20})});

    // Every curve ends exactly on the target, one write a tick (30 or 31 in half a second); a run
    // too short to tick ends on the first.
    const std::tuple<EasingFunction, double, std::size_t> runs[] = {
        {EasingFunction::bouncy, 0.5, 30},    {EasingFunction::snappy, 0.5, 30},
        {EasingFunction::billiards, 0.5, 30}, {EasingFunction::gravity, 0.5, 30},
        {EasingFunction::easeIn, 0, 1},       {EasingFunction::easeIn, -3, 1},
        {EasingFunction::easeIn, 0.001, 1}};
    for (const auto& [easing, duration, writes] : runs) {
        SCOPED_TRACE(std::string(rawValue(easing)) + " " + std::to_string(duration));
        settings.setAnimationEasing(easing);
        settings.setAnimationDuration(duration);
        desktop.dragWindow(a, {0, 100});
        desktop.clearPositionWrites();
        animate({{a, {700, 300}}});
        loop.advance(1);
        EXPECT_EQ(desktop.positionOf(a), (Point{700, 300}));
        EXPECT_GE(writesTo(a).size(), writes);
        EXPECT_LE(writesTo(a).size(), writes + writes / 30);
    }
}

TEST_F(MoveAnimationTest, GravityFallsToEachWindowsOwnFloorHalfwayAcross) {
    // Visible area 25..900 high: a (300 high) rests on the bottom at y 600, c (200 high) at 700.
    settings.setAnimationEasing(EasingFunction::gravity);
    settings.setAnimationDuration(0.4);
    const WindowId c = desktop.openWindow(pid, {.position = {900, 100}, .size = {400, 200}});
    desktop.dragWindow(a, {100, 100});
    animate({{a, {700, 300}}, {c, {800, 200}}});
    // A quarter of the way across, a has fallen a quarter of the way to its floor; at half time
    // both stand on their floors. Past each sixth tick despite rounding.
    loop.advance(6 * kTick + 1e-9);
    EXPECT_NEAR(desktop.positionOf(a).x, 250, 1e-6);
    EXPECT_NEAR(desktop.positionOf(a).y, 225, 1e-6);
    loop.advance(6 * kTick);
    EXPECT_NEAR(desktop.positionOf(a).x, 400, 1e-6);
    EXPECT_NEAR(desktop.positionOf(a).y, 600, 1e-6);
    EXPECT_NEAR(desktop.positionOf(c).x, 850, 1e-6);
    EXPECT_NEAR(desktop.positionOf(c).y, 700, 1e-6);
}

TEST_F(MoveAnimationTest, RandomAnnouncesEachRunsPickAndKeepsItForTheWholeRun) {
    random = sim::ScriptedRandomSource{1, 2};  // Ease In, then Ease Out
    settings.setAnimationEasing(EasingFunction::random);
    settings.setAnimationDuration(0.4);
    animate({{a, {600, 100}}});
    // Ease In's progress at a quarter, half and three quarters of the run.
    for (double progress : {0.018424, 0.054947, 0.187297}) {
        loop.advance(6 * kTick + 1e-9);  // past the sixth tick despite rounding
        EXPECT_NEAR(desktop.positionOf(a).x, 600 * progress, 1e-3);
    }
    loop.advance(1);
    EXPECT_EQ(desktop.positionOf(a), (Point{600, 100}));
    EXPECT_EQ(random.drawn(), 1u);
    animate({{a, {0, 100}}});
    EXPECT_EQ(feedbackWindows.bannerTexts(),
              (std::vector<std::string>{"Ease In（じわっと加速）", "Ease Out（じわっと減速）"}));
}

}  // namespace
}  // namespace tallowmere::testing
