// Two monitors side by side on one 3840 x 1080 screen, a panel reserving the right edge of the
// second: a group there rows up within that monitor's visible area, and unplugging the monitor
// while the windows glide leaves the program working on the one that is left.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "program_under_test.h"

namespace tallowmere::stress {
namespace {

using kit::FramePosition;
using kit::waitUntil;

// Clients 400 x 300 in openbox frames (1, 1, 20, 5): 402 x 325.

// The work area of the first probe.
std::vector<std::uint32_t> workArea(kit::Probe& probe) {
    auto area = probe.cardinals(probe.root(), "_NET_WORKAREA");
    area.resize(std::min<std::size_t>(area.size(), 4));
    return area;
}

TEST(TwoMonitors, RowStaysInTheSecondMonitorsVisibleAreaAndSurvivesItsUnplugging) {
    const std::string display = std::getenv("DISPLAY");
    kit::Probe probe(display);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(probe.conn())).data;
    ASSERT_EQ(screen->width_in_pixels, 3840) << "run under scripts/with-desktop --size 3840x1080";
    ASSERT_EQ(kit::run({"xrandr", "--setmonitor", "left", "1920/508x1080/286+0+0", "screen"}), 0);
    ASSERT_EQ(kit::run({"xrandr", "--setmonitor", "right", "1920/508x1080/286+1920+0", "none"}), 0);
    // The panel takes 60 of the right monitor: its visible area is x 1920 .. 3780.
    probe.openDock(true, 60);
    ASSERT_TRUE(waitUntil([&] {
        return workArea(probe) == std::vector<std::uint32_t>{0, 0, 3780, 1080};
    })) << "the window manager did not reserve the panel's strut";

    const auto open = [&](int x, int y) {
        return probe.openWindow(std::string("duo\0Duo\0", 8), x, y, 400, 300);
    };
    const xcb_window_t a = open(3300, 300);
    ASSERT_TRUE(waitUntil([&] { return probe.listed(a) && probe.normalState(a); }));
    ASSERT_EQ(probe.frame(a), (FramePosition{3300, 300}));
    const auto frame = probe.frameSize(a);
    ASSERT_TRUE(frame);
    kit::Tallowmere app(kit::rowPreferences("Duo", "linear", 1.0, true), display);
    ASSERT_TRUE(app.waitStarted()) << app.errorOutput();

    auto expectFrames = [&](const std::vector<std::pair<xcb_window_t, FramePosition>>& expected) {
        EXPECT_EQ(probe.waitForFrames(expected), "") << app.errorOutput();
    };

    // B opens on the left monitor: the reference is A's centre (3501, 462.5), on the right
    // monitor. [A, B] is 2 * 402 + 20 = 824 wide; centred it would end at 3913, past the panel,
    // so it ends at 3780: A at 2956, B at 3378, both tops at 462.5 - 162.5 = 300.
    const xcb_window_t b = open(200, 600);
    expectFrames({{a, {2956, 300}}, {b, {3378, 300}}});
    // C: the reference is the centre of 2956 .. 3780, 3368; [A, B, C] is 1246 wide and again
    // pushed left to end at 3780: 2534, 2956, 3378.
    const xcb_window_t c = open(300, 100);
    expectFrames({{a, {2534, 300}}, {b, {2956, 300}}, {c, {3378, 300}}});

    // D starts a one-second glide; the right monitor goes away in the middle of it.
    const xcb_window_t d = open(400, 200);
    ASSERT_TRUE(waitUntil([&] { return app.countLines("整列実行") == 3; })) << app.errorOutput();
    ASSERT_EQ(kit::run({"xrandr", "--delmonitor", "right"}), 0);
    ASSERT_TRUE(app.running()) << app.errorOutput();
    // openbox then takes the panel's 60 from the right edge of the monitors left: 0 .. 1860.
    ASSERT_TRUE(waitUntil([&] {
        return workArea(probe) == std::vector<std::uint32_t>{0, 0, 1860, 1080};
    })) << "the window manager kept its work area";

    // E: the row goes to the left monitor, the only one: five frames of 402 overlap and fill
    // its visible 1860 from x 0.
    const xcb_window_t e = open(500, 500);
    ASSERT_TRUE(waitUntil([&] { return app.countLines("整列実行") == 4; })) << app.errorOutput();
    const std::string line = app.linesWith("整列実行").back();
    EXPECT_NE(line.find("count=5 span=1860.0 "), std::string::npos) << line;
    EXPECT_NE(line.find(" startX=0.0 "), std::string::npos) << line;
    const bool inside = waitUntil([&] {
        for (xcb_window_t w : {a, b, c, d, e}) {
            const auto at = probe.frame(w);
            if (!at || at->x < 0 || at->x + frame->first > 1860 || at->y < 0 ||
                at->y + frame->second > 1080) {
                return false;
            }
        }
        return true;
    });
    EXPECT_TRUE(inside) << app.errorOutput();
    std::cout << "after unplugging: " << line << "\n";

    app.expectCleanQuit();
}

}  // namespace
}  // namespace tallowmere::stress
