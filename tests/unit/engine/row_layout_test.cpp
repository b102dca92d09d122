#include "engine_fixture.h"

namespace tallowmere::testing {
namespace {

struct Win {
    double x, y, width, height;
};

// One screen 1000 wide (frame 800 high, visible 700 high: visible top 100, bottom 800 in the
// engine's coordinates) unless a test sets others.
class RowLayoutTest : public EngineFixture {
  protected:
    RowLayoutTest() { desktop.setScreens({{{{0, 0}, {1000, 800}}, {{0, 0}, {1000, 700}}}}); }

    std::vector<WindowId> open(const std::vector<Win>& windows) {
        std::vector<WindowId> ids;
        for (const Win& w : windows) {
            ids.push_back(
                desktop.openWindow(pid, {.position = {w.x, w.y}, .size = {w.width, w.height}}));
        }
        return ids;
    }

    // Arranges the windows, given in this order, around (anchorX, 400).
    void arrange(const std::vector<WindowId>& ids, double anchorX,
                 const std::optional<AXElement>& newWindow = std::nullopt,
                 AlignmentAnchor anchor = AlignmentAnchor::windowCentroid, double centroidY = 400) {
        std::vector<WindowSnapshot> row;
        for (WindowId id : ids) {
            row.push_back({desktop.windowElement(id), desktop.positionOf(id), desktop.sizeOf(id)});
        }
        engine->arrangeRow(row, anchor, newWindow, pid, anchorX, centroidY);
    }

    Pid pid = desktop.addRunningApplication("org.xterm");
};

TEST_F(RowLayoutTest, PlacesRowsSpacedSqueezedOverlappedOrRefuses) {
    struct LayoutCase {
        const char* name;
        std::vector<Win> windows;
        double spacing, anchorX, centroidY;
        std::vector<Point> expected;  // empty: refused
        const char* diagnostic = nullptr;
    };
    const double third = 1.0 / 3.0;
    // clang-format off
    const LayoutCase cases[] = {
        {"two 600-wide overlap by a third and step down 28",
         {{0, 100, 600, 400}, {300, 100, 600, 400}}, 10, 700, 400,
         {{0, 186}, {(1 - third) * 600, 214}}, "重ねて整列 重ね率=0.3333333333333333 縦ずらし=28.0 pid="},
        {"a row that needs a 0.75 overlap is refused",
         {{0, 100, 1000, 300}, {50, 100, 750, 300}}, 20, 500, 400,
         {}, "全体幅1750.0が画面幅1000.0を超え、重ね率0.75が上限を超えるため整列しない pid="},
        {"three nearly screen-tall windows step down by the spare height over two, under the cap",
         {{0, 100, 600, 680}, {10, 100, 600, 680}, {20, 100, 600, 680}}, 20, 500, 400,
         {{0, 100}, {200, 110}, {400, 120}}, "重ねて整列 重ね率=0.6666666666666666 縦ずらし=10.0 pid="},
        {"overlap ratio exactly 0.7 is still arranged",
         {{0, 100, 1000, 300}, {50, 100, 700, 300}}, 20, 500, 400, {{0, 236}, {300, 264}}},
        {"span exactly the visible width keeps the spacing",
         {{0, 100, 495, 300}, {600, 100, 495, 300}}, 10, 500, 400, {{0, 250}, {505, 250}}},
        {"two 500-wide fill the width exactly: no gap, neither overlapped nor stepped down",
         {{0, 100, 500, 300}, {600, 100, 500, 300}}, 20, 500, 400, {{0, 250}, {500, 250}}},
        {"450 and 500 with spacing 100 squeeze to a gap of 50",
         {{0, 100, 450, 300}, {600, 100, 500, 300}}, 100, 500, 400, {{0, 250}, {500, 250}}},
        {"one narrow window is centred on the reference, then pushed inside",
         {{0, 100, 400, 300}}, 20, 900, 400, {{600, 250}}},
        {"one window wider than the screen is refused with an infinite ratio",
         {{0, 100, 1200, 300}}, 20, 500, 400,
         {}, "全体幅1200.0が画面幅1000.0を超え、重ね率infが上限を超えるため整列しない pid="},
        {"a group taller than the visible frame hangs from its top",
         {{0, 100, 300, 900}, {500, 100, 300, 500}}, 20, 500, 400, {{190, 100}, {510, 300}}},
        {"a group below the visible frame is lifted to its bottom",
         {{0, 100, 300, 200}, {500, 100, 300, 200}}, 20, 500, 790, {{190, 600}, {510, 600}}},
    };
    // clang-format on
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        settings.setWindowSpacingMargin(c.spacing);
        desktop.clearPositionWrites();
        engine->knownWindowRects.clear();
        const auto ids = open(c.windows);
        arrange(ids, c.anchorX, std::nullopt, AlignmentAnchor::windowCentroid, c.centroidY);
        if (c.expected.empty()) {
            EXPECT_TRUE(desktop.positionWrites().empty());
            EXPECT_FALSE(engine->knownWindowRects.contains(pid));
        } else {
            ASSERT_EQ(desktop.positionWrites().size(), ids.size());
            for (std::size_t i = 0; i < ids.size(); ++i) {
                EXPECT_NEAR(desktop.positionOf(ids[i]).x, c.expected[i].x, 1e-9) << i;
                EXPECT_NEAR(desktop.positionOf(ids[i]).y, c.expected[i].y, 1e-9) << i;
            }
        }
        if (c.diagnostic) {
            EXPECT_EQ(linesWith(c.diagnostic), 1u) << ::testing::PrintToString(diagnostics.lines);
        }
    }
}

TEST_F(RowLayoutTest, ScreenCentreIsTheMiddleOfTheVisibleAreaBesideASidePanel) {
    // A 200-wide panel on the left: visible x 200..1000, centre 600 (the frame's is 500).
    desktop.setScreens({{{{0, 0}, {1000, 800}}, {{200, 0}, {800, 700}}}});
    const auto one = open({{0, 100, 400, 300}});
    arrange(one, 100, std::nullopt, AlignmentAnchor::screenCenter);
    EXPECT_EQ(desktop.positionOf(one[0]).x, 400);
    // Overlapped rows start at the visible area's left edge: 900 of width in 800 overlap by 2/9.
    const auto two = open({{0, 100, 450, 300}, {300, 100, 450, 300}});
    arrange(two, 100, std::nullopt, AlignmentAnchor::screenCenter);
    EXPECT_EQ(desktop.positionOf(two[0]).x, 200);
    EXPECT_NEAR(desktop.positionOf(two[1]).x, 550, 1e-9);
}

TEST_F(RowLayoutTest, OrdersByXStablyAndPutsTheNewWindowLastWhenAsked) {
    // Seventeen 40-wide windows share x 300 (enough to defeat an unstable sort), c lies at x 50
    // and the new window n at x 0. Spacing 10: a row 940 wide from x 30, 50 apart.
    settings.setWindowSpacingMargin(10);
    std::vector<Win> windows(17, Win{300, 100, 40, 100});
    windows.push_back({50, 100, 40, 100});
    windows.push_back({0, 100, 40, 100});
    const auto ids = open(windows);
    for (bool onRight : {true, false}) {
        settings.setAlwaysOpenNewWindowOnRight(onRight);
        for (std::size_t i = 0; i < ids.size(); ++i) {
            desktop.dragWindow(ids[i], {windows[i].x, 100});
        }
        arrange(ids, 500, desktop.windowElement(ids.back()));
        // c, the seventeen in their given order, n; or n first when placed by its own x.
        const double shift = onRight ? 0 : 50;
        for (std::size_t i = 0; i < 17; ++i) {
            EXPECT_EQ(desktop.positionOf(ids[i]).x, 80 + 50 * i + shift) << i;
        }
        EXPECT_EQ(desktop.positionOf(ids[17]).x, 30 + shift);
        EXPECT_EQ(desktop.positionOf(ids[18]).x, onRight ? 930 : 30);
    }
}

TEST_F(RowLayoutTest, PicksTheFirstScreenContainingTheReferenceElseTheMainScreenElseNothing) {
    // Left screen is primary; right screen sits at x 1000..2000 and is the main screen; a third
    // screen stacked above the primary shares its horizontal range.
    desktop.setScreens({{{{0, 0}, {1000, 800}}, {{0, 0}, {1000, 700}}},
                        {{{1000, 0}, {1000, 800}}, {{1000, 0}, {1000, 800}}},
                        {{{0, 800}, {1000, 600}}, {{0, 800}, {1000, 600}}}});
    desktop.setMainScreenIndex(1);
    const auto ids = open({{0, 100, 200, 100}});
    // Row width 200, so a row inside the chosen screen starts at anchorX - 100 when it fits.
    const std::pair<double, double> picks[] = {{1000, 800}, {3000, 1800}, {-50, 1000}, {500, 400}};
    for (const auto& [anchorX, expectedX] : picks) {
        arrange(ids, anchorX);
        EXPECT_EQ(desktop.positionOf(ids[0]).x, expectedX) << anchorX;
    }
    // The last row went to the primary screen, not the one stacked above it: its vertical
    // placement is the primary's (the stacked screen would have clamped it above y = 0).
    EXPECT_EQ(desktop.positionOf(ids[0]).y, 350);

    // No screen contains the reference and there is no main screen; then no screens at all.
    desktop.clearPositionWrites();
    diagnostics.lines.clear();
    engine->knownWindowRects.clear();
    desktop.setMainScreenIndex(std::nullopt);
    arrange(ids, 5000);
    desktop.setScreens({});
    arrange(ids, 500);
    EXPECT_TRUE(desktop.positionWrites().empty());
    EXPECT_TRUE(diagnostics.lines.empty());
    EXPECT_TRUE(engine->knownWindowRects.empty());
}

}  // namespace
}  // namespace tallowmere::testing
