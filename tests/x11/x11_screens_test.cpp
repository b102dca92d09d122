// Screens from RandR monitors and the window manager's work area, in the core's bottom-left model.
#include <gtest/gtest.h>

#include "display_session.h"
#include "platform/linux/x11/x11_screens.h"
#include "probe.h"

namespace tallowmere::x11test {
namespace {

using x11::RootRect;

Rect rect(double x, double y, double w, double h) {
    return Rect{{x, y}, {w, h}};
}

struct MonitorCase {
    const char* name;
    std::vector<RootRect> monitors;
    std::optional<RootRect> workArea;
    std::vector<Screen> expected;
};

// Root rectangles are top-left based; the screens' y is measured up from the bottom of the
// primary's frame (height 1080 here), so y = 1080 - rootY - height.
TEST(ScreensFromMonitors, ClipTheDesktopWideWorkAreaToEachMonitor) {
    const std::vector<MonitorCase> cases = {
        {"one monitor, no work area",
         {{0, 0, 1920, 1080}},
         std::nullopt,
         {Screen(rect(0, 0, 1920, 1080), rect(0, 0, 1920, 1080))}},
        // A 30-px top panel across two monitors side by side (the right one 1280x1024, top
        // aligned): the work area spans both, 3200 x 1050 from y 30.
        {"top panel across two monitors",
         {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}},
         RootRect{0, 30, 3200, 1050},
         {Screen(rect(0, 0, 1920, 1080), rect(0, 0, 1920, 1050)),
          Screen(rect(1920, 56, 1280, 1024), rect(1920, 56, 1280, 994))}},
        // A 64-px side panel on the left monitor only narrows that monitor.
        {"side panel on the left monitor",
         {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}},
         RootRect{64, 0, 3136, 1080},
         {Screen(rect(0, 0, 1920, 1080), rect(64, 0, 1856, 1080)),
          Screen(rect(1920, 56, 1280, 1024), rect(1920, 56, 1280, 1024))}},
        // A second monitor below the primary lies at negative y; primary listed first.
        {"stacked below the primary",
         {{0, 0, 1920, 1080}, {0, 1080, 1920, 1080}},
         RootRect{0, 0, 1920, 2130},
         {Screen(rect(0, 0, 1920, 1080), rect(0, 0, 1920, 1080)),
          Screen(rect(0, -1080, 1920, 1080), rect(0, -1050, 1920, 1050))}},
        // Any client may write the work area: one whose edges pass INT_MAX is none at all.
        {"a work area beyond every monitor",
         {{0, 0, 1920, 1080}},
         RootRect{0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF},
         {Screen(rect(0, 0, 1920, 1080), rect(0, 0, 1920, 1080))}},
    };
    for (const MonitorCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(x11::screensFromMonitors(c.monitors, c.workArea), c.expected);
    }
    EXPECT_TRUE(x11::screensFromMonitors({}, RootRect{0, 0, 10, 10}).empty());
}

// Two RandR monitors on one Xvfb screen (the right one primary) and a 64-px dock on the left.
TEST(X11Screens, ReadMonitorsPrimaryFirstAndTheWorkAreaOfAPanel) {
    kit::DisplaySession desktop;
    ASSERT_TRUE(desktop.display());
    ASSERT_EQ(desktop.run({"xrandr", "--setmonitor", "*right", "960/254x1080/286+960+0", "none"}),
              0);
    ASSERT_EQ(desktop.run({"xrandr", "--setmonitor", "left", "960/254x1080/286+0+0", "screen"}), 0);
    kit::Probe probe(*desktop.display());
    probe.openDock(false, 64);
    ASSERT_TRUE(kit::waitUntil([&] {
        return probe.cardinal(probe.root(), "_NET_WORKAREA") == 64u;
    })) << "openbox did not reserve the panel's strut";

    std::string whyNot;
    auto x = x11::X11Connection::open(desktop.display()->c_str(), whyNot);
    ASSERT_TRUE(x) << whyNot;
    x11::X11Screens screens(*x, nullptr);
    screens.start();
    // Right (primary): 960..1920, untouched by the panel. Left: 0..960 less the panel, 64..960.
    const std::vector<Screen> expected = {
        Screen(rect(960, 0, 960, 1080), rect(960, 0, 960, 1080)),
        Screen(rect(0, 0, 960, 1080), rect(64, 0, 896, 1080)),
    };
    EXPECT_EQ(screens.screens(), expected);
    EXPECT_EQ(screens.mainScreen(), expected.front());
}

}  // namespace
}  // namespace tallowmere::x11test
