// The tallowmere program on a real desktop: real xterm processes, one per window, lined up by the
// window manager's own hand (openbox or xfwm4, animations on), checked by an independent client;
// each Arrangement owns a desktop. Then the command line, and one program per X display.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>

#include "display_session.h"
#include "program_under_test.h"

namespace tallowmere::e2e {
namespace {

using namespace std::string_literals;
using kit::FramePosition;
using kit::runTallowmere;
using kit::waitUntil;
using kit::Xterm;
using Places = std::vector<std::pair<xcb_window_t, FramePosition>>;

std::string preferences(const std::string& easing, double duration = 0.25, bool flash = false) {
    return kit::rowPreferences("XTerm", easing, duration, flash);
}

void pauseSeconds(double seconds) {
    waitUntil([] { return false; }, seconds);
}

bool openbox() {
    return std::string(std::getenv("TALLOWMERE_WM")) == "openbox";
}

class Arrangement : public ::testing::Test {
  protected:
    void SetUp() override { freshDesktop(); }

    void TearDown() override {
        if (app_) {
            app_->expectCleanQuit();
            app_.reset();
        }
        xterms_.clear();
    }

    void freshDesktop() {
        desktop_.reset();
        session_ = std::make_unique<kit::DisplaySession>(std::getenv("TALLOWMERE_WM"));
        ASSERT_TRUE(session_->display()) << "no desktop of its own";
        display_ = *session_->display();
        desktop_ = std::make_unique<kit::Probe>(display_);
    }

    // A first XTerm window, then the program, which follows XTerm and leaves the window where it
    // is. (The other way round, its handling of the first window could race the xterm's start.)
    Xterm& startWith(const std::string& json, int x, int y,
                     const std::vector<std::string>& environment = {}) {
        Xterm& first = open(x, y);
        app_ = std::make_unique<kit::Tallowmere>(json, display_, environment);
        EXPECT_TRUE(app_->waitStarted()) << app_->errorOutput();
        return first;
    }

    // Frames are w_ x h_: xterm's 484 x 316 (80x24 of the 6x13 font, 2 px borders) and the window
    // manager's extents (openbox 486 x 341, xfwm4 494 x 350).
    Xterm& open(int x, int y, const std::string& wmClass = "XTerm") {
        Xterm& xterm = xterms_.emplace_back(kit::openXterm(*desktop_, x, y, wmClass));
        EXPECT_NE(xterm.window, XCB_WINDOW_NONE) << "xterm did not show";
        const auto frame = desktop_->frameSize(xterm.window);
        EXPECT_TRUE(frame) << "the window manager sets no _NET_FRAME_EXTENTS";
        std::tie(w_, h_) = frame.value_or(std::pair{0, 0});
        return xterm;
    }

    void expectFrames(const Places& expected) {
        EXPECT_EQ(desktop_->waitForFrames(expected), "") << app_->errorOutput();
    }

    std::unique_ptr<kit::DisplaySession> session_;
    std::string display_;
    int w_ = 0;
    int h_ = 0;
    std::unique_ptr<kit::Probe> desktop_;
    std::unique_ptr<kit::Tallowmere> app_;
    std::deque<Xterm> xterms_;
};

// Rows on a 1920x1080 screen whose work area is the whole screen (no panel), spacing 20, frame
// width w, all frames h high. A opens at (700, 300) and stays there: it is alone.
// B opens at (1300, 500): the reference is A's centre, x 700 + w/2, y 300 + h/2; the row [A, B]
// is 2w + 20 wide, so it starts at 700 + w/2 - (w + 10) = 690 - w/2, and B follows at
// 690 - w/2 + w + 20 = 710 + w/2 (openbox: 447 and 953); all tops at 300 + h/2 - h/2 = 300.
// C opens at (1400, 650), on the right as always: the reference is the centre of [A, B],
// ((690 - w/2) + (710 + w/2 + w)) / 2 = 700 + w/2 again; the row [A, B, C] is 3w + 40 wide and
// starts at 700 + w/2 - 3w/2 - 20 = 680 - w: A at 680 - w, B at 700, C at 720 + w
// (openbox: 194, 700, 1206).
// B closes: the reference spans A, C and B's last place, 680 - w .. 720 + 2w, centre 700 + w/2,
// so [A, C] stands as [A, B] did: 690 - w/2 and 710 + w/2.
// C is minimised: A and C's place span 690 - w/2 .. 710 + 3w/2, centre 700 + w/2: A alone at
// 700 + w/2 - w/2 = 700.
// C is restored: it is the new window, on the right of A (centre 700 + w/2): back to
// 690 - w/2 and 710 + w/2.
TEST_F(Arrangement, XtermsFormOneRowFollowPagersAndOutliveNothingButTheXServer) {
    const xcb_window_t a = startWith(preferences("none"), 700, 300).window;
    ASSERT_EQ(desktop_->frame(a), (FramePosition{700, 300}));

    // Neither a dialog of XTerm nor another class's window ever moves.
    const xcb_window_t dialog = desktop_->openWindow("dialog\0XTerm\0"s, 60, 60, 240, 120, a);
    ASSERT_TRUE(
        waitUntil([&] { return desktop_->listed(dialog) && desktop_->normalState(dialog); }));
    EXPECT_TRUE(waitUntil([&] { return app_->countLines("非標準ウィンドウの生成通知のため無視"); }))
        << app_->errorOutput();
    const auto dialogAt = desktop_->frame(dialog);
    // Notices are handled in order: A has had every chance to move by now.
    EXPECT_EQ(desktop_->frame(a), (FramePosition{700, 300}));
    const xcb_window_t other = open(100, 720, "Other").window;
    const auto otherAt = desktop_->frame(other);

    Xterm& b = open(1300, 500);
    expectFrames({{a, {690 - w_ / 2, 300}}, {b.window, {710 + w_ / 2, 300}}});
    const xcb_window_t c = open(1400, 650).window;
    expectFrames({{a, {680 - w_, 300}}, {b.window, {700, 300}}, {c, {720 + w_, 300}}});
    EXPECT_EQ(app_->countLines("整列実行"), 2u) << app_->errorOutput();

    b.process->signal(SIGTERM);
    expectFrames({{a, {690 - w_ / 2, 300}}, {c, {710 + w_ / 2, 300}}});
    desktop_->iconify(c);
    expectFrames({{a, {700, 300}}});
    desktop_->activate(c);
    expectFrames({{a, {690 - w_ / 2, 300}}, {c, {710 + w_ / 2, 300}}});

    // `tallowmere --realign` and `--center`, run beside the program with C in front, do what its
    // menu's 再整頓 and 中央に再整頓 do. A moved up by 200 and C left where it is put the centre of
    // their bounding box at (700 + w/2, 200 + h/2), so --realign lines them up with tops at 200.
    // The program is stopped until the command is on its way, so that it finds the news of these
    // moves and the command waiting side by side, and must still act on the frames as they stand.
    // --center centres the row, 2w + 20 wide, on the screen's 960: A at 950 - w, C at 970.
    app_->signal(SIGSTOP);
    desktop_->moveFrame(a, 690 - w_ / 2, 100);
    expectFrames({{a, {690 - w_ / 2, 100}}, {c, {710 + w_ / 2, 300}}});
    const std::size_t topLevel = desktop_->children(desktop_->root()).size();
    auto realign = std::async(std::launch::async, [&] {
        return runTallowmere({"--realign"}, {"DISPLAY=" + display_}).status;
    });
    // The command's requestor window comes with the request.
    EXPECT_TRUE(waitUntil([&] { return desktop_->children(desktop_->root()).size() > topLevel; }));
    app_->signal(SIGCONT);
    EXPECT_EQ(realign.get(), 0);
    expectFrames({{a, {690 - w_ / 2, 200}}, {c, {710 + w_ / 2, 200}}});
    EXPECT_EQ(runTallowmere({"--center"}, {"DISPLAY=" + display_}).status, 0);
    expectFrames({{a, {950 - w_, 200}}, {c, {970, 200}}});

    // A pager puts [A, C] back where C had joined A, 100 higher: D joins the row where it stands
    // now, as C joined [A, B] (680 - w, 700, 720 + w), at its tops of 200. When D closes, the row
    // closes up once and nothing moves afterwards.
    desktop_->moveFrame(a, 690 - w_ / 2, 200);
    desktop_->moveFrame(c, 710 + w_ / 2, 200);
    expectFrames({{a, {690 - w_ / 2, 200}}, {c, {710 + w_ / 2, 200}}});
    Xterm& d = open(1400, 650);
    expectFrames({{a, {680 - w_, 200}}, {c, {700, 200}}, {d.window, {720 + w_, 200}}});
    const std::size_t closings = app_->countLines("ウィンドウの終了を検知");
    d.process->signal(SIGTERM);
    expectFrames({{a, {690 - w_ / 2, 200}}, {c, {710 + w_ / 2, 200}}});
    EXPECT_FALSE(waitUntil(
        [&] {
            return desktop_->frame(a) != FramePosition{690 - w_ / 2, 200};
        },
        1));
    EXPECT_EQ(app_->countLines("ウィンドウの終了を検知"), closings + 1) << app_->errorOutput();
    EXPECT_EQ(desktop_->frame(dialog), dialogAt);
    EXPECT_EQ(desktop_->frame(other), otherAt);

    // The X server dies: the program says so once and exits non-zero, its preferences untouched.
    const std::string outputBefore = app_->errorOutput();
    session_->killServer();
    const auto status = app_->waitExit(10);
    ASSERT_TRUE(status) << "still running after the X server died";
    EXPECT_NE(*status, 0);
    EXPECT_LT(*status, 128) << "died of a signal\n" << app_->errorOutput();
    EXPECT_EQ(app_->errorOutput().substr(outputBefore.size()),
              "tallowmere: lost the connection to the X server; quitting\n");
    EXPECT_EQ(app_->preferencesBytes(), preferences("none"));
    app_.reset();
}

// The easings that overshoot or bounce (each of them ends exactly on its targets in the engine's
// own tests) end on the targets of the row [A, B] above (690 - w/2 and 710 + w/2, tops 300) on a
// real desktop too, each ring covering its window's frame there. Qt scales the program's windows on
// a scaled desktop while X11 geometry stays in device pixels: at 192 dpi (a ratio of 2) and at
// QT_SCALE_FACTOR=1.5 the row and the rings are the same, and the banner naming the random pick is
// centred across the 1920x1080 screen (x 960) a third down it (y 360). Its height shows that Qt did
// scale: 24 of padding and a line of text 22 pixels high unscaled, 33 and 43 here.
TEST_F(Arrangement, EasingsAtEveryScaleEndOnTheirTargetsWithRingsAndBannerInPlace) {
    struct Case {
        const char* easing;
        const char* resources;  // loaded with xrdb before the program starts: a scaled desktop
        std::vector<std::string> environment;
    };
    const Case cases[] = {
        {"bouncy", nullptr, {}},          {"snappy", nullptr, {}},
        {"billiards", nullptr, {}},       {"gravity", nullptr, {}},
        {"random", "Xft.dpi: 192\n", {}}, {"random", "", {"QT_SCALE_FACTOR=1.5"}}};
    const std::filesystem::path resources = std::filesystem::temp_directory_path() /
                                            ("tallowmere-e2e-xrdb-" + std::to_string(getpid()));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.easing) + " " + (c.resources ? c.resources : "") +
                     (c.environment.empty() ? "" : c.environment.front()));
        freshDesktop();  // resources go with the server
        if (c.resources) {
            std::ofstream(resources) << c.resources;
            ASSERT_EQ(kit::run({"xrdb", "-load", resources.string()}, {"DISPLAY=" + display_}), 0);
        }
        Xterm& a = startWith(preferences(c.easing, 0.3, /*flash=*/true), 700, 300, c.environment);
        Xterm& b = open(1300, 500);
        const kit::Box ringA{690 - w_ / 2, 300, w_, h_};
        const kit::Box ringB{710 + w_ / 2, 300, w_, h_};
        auto banner = [&](const kit::Box& box) {
            return box != ringA && box != ringB && box.height >= 24 + 30 &&
                   std::abs(2 * box.x + box.width - 2 * 960) <= 2 &&
                   std::abs(2 * box.y + box.height - 2 * 360) <= 2;
        };
        std::vector<kit::Box> seen;
        const bool all = waitUntil([&] {
            for (const kit::Box& box : desktop_->unmanagedWindowsOf(app_->pid())) {
                if (std::find(seen.begin(), seen.end(), box) == seen.end()) {
                    seen.push_back(box);
                }
            }
            return std::count(seen.begin(), seen.end(), ringA) &&
                   std::count(seen.begin(), seen.end(), ringB) &&
                   (!c.resources || std::any_of(seen.begin(), seen.end(), banner));
        });
        EXPECT_TRUE(all) << "rings expected at " << ::testing::PrintToString(ringA) << " and "
                         << ::testing::PrintToString(ringB)
                         << "; the program's unmanaged windows were "
                         << ::testing::PrintToString(seen);
        expectFrames({{a.window, {690 - w_ / 2, 300}}, {b.window, {710 + w_ / 2, 300}}});
        TearDown();
    }
    std::filesystem::remove(resources);
}

// A window manager taking over from the running one, or one started after the last was killed
// outright (leaving its client list on the root), makes every window look new while it adopts
// them. Neither is the user's doing: the program arranges nothing and counts nothing as closed,
// and the next window is lined up with the two where they stand.
TEST_F(Arrangement, AWindowManagerTakingOverOrRestartingAfterACrashRearrangesNothing) {
    // A crashed xfwm4 comes back as itself, and the frames below are openbox's.
    for (const bool crash : openbox() ? std::vector{false, true} : std::vector{false}) {
        SCOPED_TRACE(crash ? "killed and restarted" : "taken over by openbox");
        if (crash) {
            TearDown();
            freshDesktop();
        }
        const xcb_window_t a = startWith(preferences("none"), 700, 300).window;
        const xcb_window_t b = open(1300, 500).window;
        expectFrames({{a, {690 - w_ / 2, 300}}, {b, {710 + w_ / 2, 300}}});

        ASSERT_TRUE(session_->restartWindowManager(crash));
        // Adopted again: listed, shown, framed by openbox (each client 1 px right of its frame).
        std::optional<FramePosition> a0;
        std::optional<FramePosition> b0;
        ASSERT_TRUE(waitUntil([&] {
            a0 = desktop_->frame(a);
            b0 = desktop_->frame(b);
            return desktop_->normalState(a) && desktop_->normalState(b) && desktop_->listed(a) &&
                   desktop_->listed(b) && a0 && b0 && desktop_->clientOrigin(a).x - a0->x == 1 &&
                   desktop_->clientOrigin(b).x - b0->x == 1;
        })) << "openbox did not adopt the windows";
        // Past the grace the program gives a window manager to bring every window back.
        pauseSeconds(3.5);
        EXPECT_EQ(desktop_->frame(a), a0);
        EXPECT_EQ(desktop_->frame(b), b0);
        EXPECT_EQ(app_->countLines("ウィンドウの終了を検知"), 0u) << app_->errorOutput();
        EXPECT_EQ(app_->countLines("整列実行"), 1u) << app_->errorOutput();

        // The next window brings the only arrangement since. With openbox's frames all along,
        // [A, B] from x0 is centred at x0 + w + 10; [A, B, C], 3w + 40 wide, starts at
        // x0 - w/2 - 10.
        const xcb_window_t c = open(1400, 650).window;
        ASSERT_TRUE(waitUntil([&] { return app_->countLines("整列実行") >= 2; }))
            << app_->errorOutput();
        if (openbox()) {
            EXPECT_EQ(b0, (FramePosition{a0->x + w_ + 20, a0->y})) << "the row did not hold";
            expectFrames({{a, {a0->x - w_ / 2 - 10, a0->y}},
                          {b, {a0->x + w_ / 2 + 10, a0->y}},
                          {c, {a0->x + 3 * w_ / 2 + 30, a0->y}}});
        }
        EXPECT_EQ(app_->countLines("整列実行"), 2u) << app_->errorOutput();
    }
}

// At login the program starts while the session restores its windows. Wherever in the
// program's start a watched window maps (the 50 starts sweep 0 to 400 ms after launch), it is
// watched.
TEST_F(Arrangement, AProgramStartingWhileWindowsMapWatchesThemEveryTime) {
    if (!openbox()) {
        GTEST_SKIP() << "one window manager is enough for 50 starts";
    }
    std::vector<int> missedAt;
    for (int start = 0; start < 50; ++start) {
        kit::Tallowmere app(preferences("none"), display_);
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

// None of these starts the program: each ends at once with its status and its words.
TEST(CommandLine, UsageVersionAndMistakesEndAtOnce) {
    const std::string nowhere = ":65535";  // past any number Xvfb -displayfd picks
    const std::string usage = "Usage: tallowmere [options]\n";
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> environment;
        int status;
        std::string out;  // how standard output starts
        std::string err;  // how standard error starts
        bool errWhole;    // and whether that is all of it
    } cases[] = {
        {{"--help"}, {}, 0, usage, "", true},
        {{"--version"}, {}, 0, "tallowmere ", "", true},
        {{"--bogus"}, {}, 2, "", "tallowmere: Unknown option 'bogus'.\n\n" + usage, false},
        {{"--realign", "--quit"}, {}, 2, "", "tallowmere: give one command at a time.\n", false},
        {{"again"}, {}, 2, "", "tallowmere: unexpected argument 'again'.\n", false},
        {{},
         {"DISPLAY=" + nowhere},
         1,
         "",
         "tallowmere: cannot open the X display \"" + nowhere +
             "\"; tallowmere needs an X11 session\n",
         true},
        {{"--realign"},
         {"DISPLAY"},
         1,
         "",
         "tallowmere: no X display (DISPLAY is not set); tallowmere needs an X11 session\n",
         true},
        // A Wayland desktop without KWin, its XWayland display at hand: never half served.
        {{},
         {"WAYLAND_DISPLAY=wayland-0", "XDG_CURRENT_DESKTOP=GNOME"},
         1,
         "",
         "tallowmere: this Wayland desktop (XDG_CURRENT_DESKTOP=GNOME) is not supported yet: only "
         "KDE Plasma and X11 sessions are\n",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? c.environment[0] : c.arguments[0]);
        const kit::Finished run = runTallowmere(c.arguments, c.environment);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.out.substr(0, c.out.size()), c.out) << run.out;
        EXPECT_EQ(c.out.empty(), run.out.empty()) << run.out;
        EXPECT_EQ(c.errWhole ? run.err : run.err.substr(0, c.err.size()), c.err);
    }
}

TEST(CommandLine, OneProgramPerDisplayAndCommandsReachIt) {
    const std::string display = std::getenv("DISPLAY");
    kit::Probe desktop(display);
    const std::string notRunning =
        "tallowmere: tallowmere is not running on display " + display + "; start it first\n";
    EXPECT_EQ(runTallowmere({"--settings"}).err, notRunning);
    EXPECT_EQ(runTallowmere({"--quit"}).status, 1);

    // A second start shows the first one's settings window and ends.
    auto first = std::make_unique<kit::Tallowmere>(preferences("none"), display);
    ASSERT_TRUE(waitUntil([&] { return first->countLines("tallowmere: started") == 1; }))
        << first->errorOutput();
    const kit::Finished second = runTallowmere({});
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.err, "");
    EXPECT_TRUE(desktop.waitForWindowOf(first->pid()))
        << "the running program showed no settings window\n"
        << first->errorOutput();
    EXPECT_TRUE(first->running());

    // Killed, it leaves no claim behind: the next start is the running program.
    first->signal(SIGKILL);
    ASSERT_TRUE(first->waitExit(10));
    kit::Tallowmere next(preferences("none"), display);
    ASSERT_TRUE(waitUntil([&] { return next.countLines("tallowmere: started") == 1; }))
        << next.errorOutput();

    const kit::Finished quit = runTallowmere({"--quit"});
    EXPECT_EQ(quit.status, 0) << quit.err;
    EXPECT_EQ(next.waitExit(10), 0) << next.errorOutput();
    EXPECT_EQ(runTallowmere({"--center"}).err, notRunning);
}

}  // namespace
}  // namespace tallowmere::e2e

int main(int argc, char** argv) {
    return tallowmere::kit::runOnPrivateDesktop(argc, argv);
}
