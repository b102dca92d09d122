// The program among clients that write whatever they like into window and root properties, and
// beside a window manager that is replaced or crashes: it lives on, follows the frames and lines
// up the next window exactly.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "arrangement_fixture.h"

namespace tallowmere::e2e {
namespace {

using namespace std::string_literals;

void pauseSeconds(double seconds) {
    waitUntil([] { return false; }, seconds);
}

// C opens alone and is moved by a pager to (700, 300); D opens at (1300, 500). If the program
// still follows frames, the row [C, D] is centred on C's new place, as [A, B] in the row scenario:
// C at 690 - w/2, D at 710 + w/2, both at 300.
TEST_F(Arrangement, MalformedPropertiesNeitherCrashNorMisleadTheProgram) {
    // Already there when the program starts: a class of 9000 bytes and no NUL. (The backend tests
    // read every malformed shape; here the whole program meets them.)
    const xcb_window_t longClass = desktop_->openWindow(std::string(9000, 'w'), 40, 40);
    startWith(preferences("none"), 100, 100);
    kit::Probe& probe = *desktop_;
    // A watched window whose extents add up past any int.
    const xcb_window_t huge = desktop_->openWindow("huge\0XTerm\0"s, 900, 500);
    ASSERT_TRUE(waitUntil([&] { return desktop_->listed(huge) && desktop_->normalState(huge); }));
    ASSERT_TRUE(waitUntil([&] { return app_->countLines("整列実行") >= 1; }))
        << app_->errorOutput();
    probe.setCardinals(huge, "_NET_FRAME_EXTENTS",
                       {0x7FFFFFFF, 0x80000000, 0x7FFFFFFF, 0x80000000});
    // A work area far off the root.
    const std::vector<std::uint32_t> workArea = probe.cardinals(probe.root(), "_NET_WORKAREA");
    probe.setCardinals(probe.root(), "_NET_WORKAREA",
                       {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF});
    // For half a second the client list names the root, and every window twice.
    const std::vector<xcb_window_t> list = probe.clientList();
    std::vector<xcb_window_t> rogue = list;
    rogue.insert(rogue.end(), list.begin(), list.end());
    rogue.push_back(probe.root());
    probe.setClientList(rogue);
    pauseSeconds(0.5);
    probe.setClientList(list);

    // A decision that reads the absurd window's size.
    open(1300, 500);
    ASSERT_TRUE(waitUntil([&] {
        return app_->countLines("整列実行") >= 2 || app_->countLines("全体幅") >= 1;
    })) << app_->errorOutput();
    ASSERT_TRUE(app_->running()) << app_->errorOutput();

    // Back to an honest desktop, the program still there.
    desktop_->closeWindow(huge);
    desktop_->closeWindow(longClass);
    closeAll();
    if (!workArea.empty()) {
        probe.setCardinals(probe.root(), "_NET_WORKAREA", workArea);
    }
    Xterm& c = open(1200, 600);
    ASSERT_TRUE(waitUntil([&] {
        return app_->countLines("既存の標準ウィンドウがないため整列不要") >= 1;
    })) << app_->errorOutput();
    probe.moveFrame(c.window, 700, 300);
    ASSERT_TRUE(waitUntil([&] { return desktop_->frame(c.window) == FramePosition{700, 300}; }));
    Xterm& d = open(1300, 500);
    expectFrames({{&c, {690 - w_ / 2, 300}}, {&d, {710 + w_ / 2, 300}}});
}

// A window manager taking over from the running one, or one started after the last was killed
// outright (leaving its client list on the root), makes every window look new while it adopts
// them. Neither is the user's doing: the program arranges nothing and counts nothing as closed,
// and the next window is lined up with the two where they stand.
TEST_F(Arrangement, AWindowManagerTakingOverOrRestartingAfterACrashRearrangesNothing) {
    const bool openbox = std::string(std::getenv("TALLOWMERE_WM")) == "openbox";
    for (const bool crash : {false, true}) {
        if (crash && !openbox) {
            continue;  // it comes back as itself, and the frames below are openbox's
        }
        SCOPED_TRACE(crash ? "killed and restarted" : "taken over by openbox");
        if (crash) {
            TearDown();
            freshDesktop();
        }
        Xterm& a = startWith(preferences("none"), 700, 300);
        Xterm& b = open(1300, 500);
        expectFrames({{&a, {690 - w_ / 2, 300}}, {&b, {710 + w_ / 2, 300}}});

        ASSERT_TRUE(session_->restartWindowManager(crash));
        // Adopted again: listed, shown, framed by openbox (each client 1 px right of its frame).
        std::optional<FramePosition> a0;
        std::optional<FramePosition> b0;
        ASSERT_TRUE(waitUntil([&] {
            a0 = desktop_->frame(a.window);
            b0 = desktop_->frame(b.window);
            return desktop_->normalState(a.window) && desktop_->normalState(b.window) &&
                   desktop_->listed(a.window) && desktop_->listed(b.window) && a0 && b0 &&
                   desktop_->clientOrigin(a.window).x - a0->x == 1 &&
                   desktop_->clientOrigin(b.window).x - b0->x == 1;
        })) << "openbox did not adopt the windows";
        if (openbox) {
            EXPECT_EQ(b0, (FramePosition{a0->x + w_ + 20, a0->y})) << "the row did not hold";
        }
        // Past the grace the program gives a window manager to bring every window back.
        pauseSeconds(3.5);
        EXPECT_EQ(desktop_->frame(a.window), a0);
        EXPECT_EQ(desktop_->frame(b.window), b0);
        EXPECT_EQ(app_->countLines("ウィンドウの終了を検知"), 0u) << app_->errorOutput();
        EXPECT_EQ(app_->countLines("整列実行"), 1u) << app_->errorOutput();

        // The next window brings the only arrangement since. With openbox's frames all along,
        // [A, B] from x0 is centred at x0 + w + 10; [A, B, C], 3w + 40 wide, starts at
        // x0 - w/2 - 10.
        Xterm& c = open(1400, 650);
        ASSERT_TRUE(waitUntil([&] { return app_->countLines("整列実行") >= 2; }))
            << app_->errorOutput();
        if (openbox) {
            const int x0 = a0->x;
            expectFrames({{&a, {x0 - w_ / 2 - 10, a0->y}},
                          {&b, {x0 + w_ / 2 + 10, a0->y}},
                          {&c, {x0 + 3 * w_ / 2 + 30, a0->y}}});
        }
        EXPECT_EQ(app_->countLines("整列実行"), 2u) << app_->errorOutput();
    }
}

// At login the program starts while the session restores its windows. Wherever in the
// program's start a watched window maps (the 50 starts sweep 0 to 400 ms after launch), it is
// watched.
TEST_F(Arrangement, AProgramStartingWhileWindowsMapWatchesThemEveryTime) {
    if (std::string(std::getenv("TALLOWMERE_WM")) != "openbox") {
        GTEST_SKIP() << "one window manager is enough for 50 starts";
    }
    std::vector<int> missedAt;
    for (int start = 0; start < 50; ++start) {
        Tallowmere app(preferences("none"), display_);
        pauseSeconds(start * 0.008);
        const xcb_window_t window = desktop_->openWindow("restored\0XTerm\0"s, 100, 100);
        if (!waitUntil([&] { return app.countLines("監視開始") >= 1; }, 5)) {
            missedAt.push_back(start * 8);
        }
        app.signal(SIGTERM);
        EXPECT_EQ(app.waitExit(10), 0) << app.errorOutput();
        desktop_->closeWindow(window);
        ASSERT_TRUE(waitUntil([&] { return !desktop_->listed(window); }));
    }
    EXPECT_TRUE(missedAt.empty()) << missedAt.size()
                                  << " of 50 starts missed the window, the first "
                                  << (missedAt.empty() ? 0 : missedAt.front())
                                  << " ms after launch";
}

}  // namespace
}  // namespace tallowmere::e2e
