#include <limits>

#include "engine_fixture.h"

namespace tallowmere::testing {
namespace {

struct Win {
    double x = 0;
    double y = 100;
    double width = 400;
    double height = 300;
};

struct LayoutCase {
    const char* name;
    std::vector<Win> windows;
    double spacing = 20;
    double visibleWidth = 1000;
    double anchorX = 500;
    double centroidY = 400;
    AlignmentAnchor anchor = AlignmentAnchor::windowCentroid;
    std::vector<Point> expected;  // empty: refused
    const char* diagnostic = nullptr;
};

// One screen 1000 wide (frame 800 high, visible 700 high: visible top 100, bottom 800 in the
// engine's coordinates), unless the case widens it.
class RowLayoutTest : public EngineFixture {
  protected:
    Pid pid = desktop.addRunningApplication("org.xterm");

    void useScreen(double visibleWidth) {
        desktop.setScreens(
            {screenOf({{0, 0}, {visibleWidth, 800}}, {{0, 0}, {visibleWidth, 700}})});
    }

    std::vector<WindowId> open(const std::vector<Win>& windows) {
        std::vector<WindowId> ids;
        for (const Win& w : windows) {
            ids.push_back(
                desktop.openWindow(pid, {.position = {w.x, w.y}, .size = {w.width, w.height}}));
        }
        return ids;
    }

    std::vector<WindowSnapshot> snapshots(const std::vector<WindowId>& ids) const {
        std::vector<WindowSnapshot> result;
        for (WindowId id : ids) {
            result.push_back(snapshot(id));
        }
        return result;
    }
};

TEST_F(RowLayoutTest, PlacesRowsSpacedSqueezedOverlappedOrRefuses) {
    const double third = 1.0 / 3.0;
    constexpr auto centroid = AlignmentAnchor::windowCentroid;
    // clang-format off
    const LayoutCase cases[] = {
        {"two 600-wide overlap by a third and step down 28",
         {{0, 100, 600, 400}, {300, 100, 600, 400}}, 10, 1000, 700, 400, centroid,
         {{0, 186}, {(1 - third) * 600, 214}},
         "重ねて整列 重ね率=0.3333333333333333 縦ずらし=28.0 pid="},
        {"three 800-wide are refused",
         {{0, 100, 800, 300}, {100, 100, 800, 300}, {200, 100, 800, 300}}, 20, 1000, 500, 400, centroid,
         {}, "全体幅2400.0が画面幅1000.0を超え、重ね率0.875が上限を超えるため整列しない pid="},
        {"overlap ratio exactly 0.7 is still arranged",
         {{0, 100, 1000, 300}, {50, 100, 700, 300}}, 20, 1000, 500, 400, centroid,
         {{0, 236}, {(1 - 0.7) * 1000, 264}}, nullptr},
        {"span exactly the visible width keeps the spacing",
         {{0, 100, 495, 300}, {600, 100, 495, 300}}, 10, 1000, 500, 400, centroid,
         {{0, 250}, {505, 250}}, nullptr},
        {"450 and 500 with spacing 100 squeeze to a gap of 50",
         {{0, 100, 450, 300}, {600, 100, 500, 300}}, 100, 1000, 500, 400, centroid,
         {{0, 250}, {500, 250}}, nullptr},
        {"one narrow window is centred on the reference, then pushed inside",
         {{0, 100, 400, 300}}, 20, 1000, 900, 400, centroid, {{600, 250}}, nullptr},
        {"one narrow window with the screen anchor is centred on the visible frame",
         {{0, 100, 400, 300}}, 20, 1000, 900, 400, AlignmentAnchor::screenCenter, {{300, 250}},
         "整列実行 pid=1000 count=1 span=400.0 anchorX=500.0(screenCenter) startX=300.0 centroidY=400.0"},
        {"one window wider than the screen is refused with an infinite ratio",
         {{0, 100, 1200, 300}}, 20, 1000, 500, 400, centroid,
         {}, "全体幅1200.0が画面幅1000.0を超え、重ね率infが上限を超えるため整列しない pid="},
        {"a group taller than the visible frame hangs from its top",
         {{0, 100, 300, 900}, {500, 100, 300, 500}}, 20, 1000, 500, 400, centroid,
         {{190, 100}, {510, 300}}, nullptr},
        {"a group below the visible frame is lifted to its bottom",
         {{0, 100, 300, 200}, {500, 100, 300, 200}}, 20, 1000, 500, 790, centroid,
         {{190, 600}, {510, 600}}, nullptr},
    };
    // clang-format on
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        useScreen(c.visibleWidth);
        settings.setWindowSpacingMargin(c.spacing);
        diagnostics.lines.clear();
        desktop.clearPositionWrites();
        engine->knownWindowRects.clear();
        const auto ids = open(c.windows);

        engine->arrangeRow(snapshots(ids), c.anchor, std::nullopt, pid, c.anchorX, c.centroidY);

        if (c.expected.empty()) {
            EXPECT_TRUE(desktop.positionWrites().empty());
            EXPECT_FALSE(engine->knownWindowRects.contains(pid));
            EXPECT_EQ(engine->animationTimer, nullptr);
        } else {
            ASSERT_EQ(desktop.positionWrites().size(), ids.size());
            for (std::size_t i = 0; i < ids.size(); ++i) {
                EXPECT_NEAR(desktop.positionOf(ids[i]).x, c.expected[i].x, 1e-9) << i;
                EXPECT_NEAR(desktop.positionOf(ids[i]).y, c.expected[i].y, 1e-9) << i;
            }
        }
        if (c.diagnostic) {
            EXPECT_EQ(linesContaining(c.diagnostic).size(), 1u)
                << ::testing::PrintToString(diagnostics.lines);
        }
        for (WindowId id : ids) {
            desktop.closeWindow(id);
        }
    }
}

TEST_F(RowLayoutTest, OrdersByXStablyAndPutsTheNewWindowLastWhenAsked) {
    useScreen(1000);
    // Caller order: b, a (same x), c; the new window n lies at the far left.
    const auto ids =
        open({{300, 100, 100, 100}, {300, 100, 100, 100}, {50, 100, 100, 100}, {0, 100, 100, 100}});
    const WindowId b = ids[0], a = ids[1], c = ids[2], n = ids[3];
    auto leftToRight = [&] {
        std::vector<WindowId> order = ids;
        std::sort(order.begin(), order.end(), [&](WindowId l, WindowId r) {
            return desktop.positionOf(l).x < desktop.positionOf(r).x;
        });
        return order;
    };

    settings.setAlwaysOpenNewWindowOnRight(true);
    engine->arrangeRow(snapshots({b, a, c, n}), AlignmentAnchor::windowCentroid,
                       desktop.windowElement(n), pid, 500, 400);
    EXPECT_EQ(leftToRight(), (std::vector<WindowId>{c, b, a, n}));

    for (WindowId id : ids) {
        desktop.dragWindow(id, {id == n ? 0.0 : id == c ? 50.0 : 300.0, 100});
    }
    settings.setAlwaysOpenNewWindowOnRight(false);
    engine->arrangeRow(snapshots({b, a, c, n}), AlignmentAnchor::windowCentroid,
                       desktop.windowElement(n), pid, 500, 400);
    EXPECT_EQ(leftToRight(), (std::vector<WindowId>{n, c, b, a}));
}

TEST_F(RowLayoutTest, PicksTheFirstScreenContainingTheReferenceElseTheMainScreen) {
    // Left screen is primary; right screen sits at x 1000..2000 and is the main screen; a third
    // screen stacked above the primary shares its horizontal range.
    desktop.setScreens({screenOf({{0, 0}, {1000, 800}}, {{0, 0}, {1000, 700}}),
                        screenOf({{1000, 0}, {1000, 800}}, {{1000, 0}, {1000, 800}}),
                        screenOf({{0, 800}, {1000, 600}}, {{0, 800}, {1000, 600}})});
    desktop.setMainScreenIndex(1);
    const auto ids = open({{0, 100, 200, 100}});
    struct Case {
        double anchorX;
        double expectedX;
    };
    // Row width 200, so a row inside the chosen screen starts at anchorX - 100 when it fits.
    for (const Case& c : {Case{1000, 800}, Case{3000, 1800}, Case{-50, 1000}, Case{500, 400}}) {
        engine->arrangeRow(snapshots(ids), AlignmentAnchor::windowCentroid, std::nullopt, pid,
                           c.anchorX, 400);
        EXPECT_EQ(desktop.positionOf(ids[0]).x, c.expectedX) << c.anchorX;
    }
    // The last row went to the primary screen, not the one stacked above it: its vertical
    // placement is the primary's (the stacked screen would have clamped it above y = 0).
    EXPECT_EQ(desktop.positionOf(ids[0]).y, 350);
}

TEST_F(RowLayoutTest, DoesNothingWithoutScreensOrWithoutAMatchAndNoMainScreen) {
    const auto ids = open({{0, 100, 200, 100}, {300, 100, 200, 100}});
    desktop.setScreens({screenOf({{0, 0}, {1000, 800}}, {{0, 0}, {1000, 700}})});
    desktop.setMainScreenIndex(std::nullopt);
    engine->arrangeRow(snapshots(ids), AlignmentAnchor::windowCentroid, std::nullopt, pid, 5000,
                       400);
    desktop.setScreens({});
    engine->arrangeRow(snapshots(ids), AlignmentAnchor::windowCentroid, std::nullopt, pid, 500,
                       400);
    EXPECT_TRUE(desktop.positionWrites().empty());
    EXPECT_TRUE(diagnostics.lines.empty());
    EXPECT_TRUE(engine->knownWindowRects.empty());
}

TEST_F(RowLayoutTest, FlashesRedForTheNewWindowAndGreenForTheOthersAtTheirDestinations) {
    useScreen(1000);
    settings.setShowFlashOverlay(true);
    settings.setAnimationEasing(EasingFunction::linear);
    const auto ids = open({{0, 100, 300, 200}, {400, 100, 300, 200}});
    engine->arrangeRow(snapshots(ids), AlignmentAnchor::windowCentroid,
                       desktop.windowElement(ids[1]), pid, 500, 400);
    // Destinations (accessibility) (190, 300) and (510, 300); the screen is 800 high, so the
    // overlays' bottom-left origins lie at y = 800 - 300 - 200.
    EXPECT_EQ(feedbackWindows.overlayFrames(),
              (std::vector<Rect>{{{190, 300}, {300, 200}}, {{510, 300}, {300, 200}}}));
    EXPECT_EQ(feedbackWindows.overlayColors(),
              (std::vector<Color>{kSystemGreenColor, kSystemRedColor}));
    // The destinations are known before the windows have moved.
    EXPECT_EQ(desktop.positionOf(ids[0]), (Point{0, 100}));
    EXPECT_EQ(engine->lookupKnownRect(desktop.windowElement(ids[1]), pid),
              (Rect{{510, 300}, {300, 200}}));
    loop.advance(0.79);
    EXPECT_EQ(feedbackWindows.openWindowsAt(loop.now()).size(), 2u);
    loop.advance(0.02);
    EXPECT_TRUE(feedbackWindows.openWindowsAt(loop.now()).empty());
}

}  // namespace
}  // namespace tallowmere::testing
