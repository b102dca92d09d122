// The tallowmere program on a real desktop: real xterm processes, one per window, lined up by the
// window manager's own hand (openbox or xfwm4, animations on), checked by an independent client.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "arrangement_fixture.h"

namespace tallowmere::e2e {
namespace {

using namespace std::string_literals;

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
// 690 - w/2 and 710 + w/2. D then joins [A, C] exactly as C joined [A, B].
TEST_F(Arrangement, XtermsFormOneRowAndCloseUpWhenOneClosesOrIsMinimised) {
    Xterm& a = startWith(preferences("none"), 700, 300);
    ASSERT_EQ(desktop_->frame(a.window), (FramePosition{700, 300}));

    // Neither a dialog of XTerm nor another class's window ever moves.
    const xcb_window_t dialog =
        desktop_->openWindow("dialog\0XTerm\0"s, 60, 60, 240, 120, a.window);
    ASSERT_TRUE(
        waitUntil([&] { return desktop_->listed(dialog) && desktop_->normalState(dialog); }));
    EXPECT_TRUE(waitUntil([&] { return app_->countLines("非標準ウィンドウの生成通知のため無視"); }))
        << app_->errorOutput();
    const auto dialogAt = desktop_->frame(dialog);
    // Notices are handled in order: A has had every chance to move by now.
    EXPECT_EQ(desktop_->frame(a.window), (FramePosition{700, 300}));
    Xterm& other = open(100, 720, "Other");
    const auto otherAt = desktop_->frame(other.window);

    Xterm& b = open(1300, 500);
    expectFrames({{&a, {690 - w_ / 2, 300}}, {&b, {710 + w_ / 2, 300}}});
    Xterm& c = open(1400, 650);
    expectFrames({{&a, {680 - w_, 300}}, {&b, {700, 300}}, {&c, {720 + w_, 300}}});
    EXPECT_EQ(app_->countLines("整列実行"), 2u) << app_->errorOutput();

    b.process->signal(SIGTERM);
    expectFrames({{&a, {690 - w_ / 2, 300}}, {&c, {710 + w_ / 2, 300}}});

    desktop_->iconify(c.window);
    expectFrames({{&a, {700, 300}}});
    desktop_->activate(c.window);
    expectFrames({{&a, {690 - w_ / 2, 300}}, {&c, {710 + w_ / 2, 300}}});

    // D joins [A, C] as C joined [A, B]; when it closes, the row closes up once and nothing moves
    // afterwards.
    Xterm& d = open(1400, 650);
    expectFrames({{&a, {680 - w_, 300}}, {&c, {700, 300}}, {&d, {720 + w_, 300}}});
    const std::size_t closings = app_->countLines("ウィンドウの終了を検知");
    d.process->signal(SIGTERM);
    expectFrames({{&a, {690 - w_ / 2, 300}}, {&c, {710 + w_ / 2, 300}}});
    EXPECT_FALSE(waitUntil(
        [&] {
            return desktop_->frame(a.window) != FramePosition{690 - w_ / 2, 300};
        },
        1));
    EXPECT_EQ(app_->countLines("ウィンドウの終了を検知"), closings + 1) << app_->errorOutput();

    // `tallowmere --realign` and `--center`, run beside the program with C in front, do what its
    // menu's 再整頓 and 中央に再整頓 do. A moved up by 100 and C down by 100 keep the centre of
    // their bounding box at (700 + w/2, 300 + h/2), so --realign puts them back. --center centres
    // the row, 2w + 20 wide, on the screen's 960: A at 950 - w, C at 970, tops still at 300.
    desktop_->activate(c.window);
    desktop_->moveFrame(a.window, 690 - w_ / 2, 200);
    desktop_->moveFrame(c.window, 710 + w_ / 2, 400);
    expectFrames({{&a, {690 - w_ / 2, 200}}, {&c, {710 + w_ / 2, 400}}});
    EXPECT_EQ(runTallowmere({"--realign"}, {"DISPLAY=" + display_}).status, 0);
    expectFrames({{&a, {690 - w_ / 2, 300}}, {&c, {710 + w_ / 2, 300}}});
    EXPECT_EQ(runTallowmere({"--center"}, {"DISPLAY=" + display_}).status, 0);
    expectFrames({{&a, {950 - w_, 300}}, {&c, {970, 300}}});

    EXPECT_EQ(desktop_->frame(dialog), dialogAt);
    EXPECT_EQ(desktop_->frame(other.window), otherAt);
}

// Every easing, the springy and bouncing ones included, ends exactly on the targets of the row
// [A, B] above (690 - w/2 and 710 + w/2, tops 300), each ring covering its window's frame there.
// Qt scales the program's windows on a scaled desktop while X11 geometry stays in device pixels:
// at 192 dpi (a ratio of 2) and at QT_SCALE_FACTOR=1.5 the row and the rings are the same, and the
// banner naming the random pick is centred across the 1920x1080 screen (x 960) a third down it
// (y 360). Its height shows that Qt did scale: 24 of padding and a line of text 22 pixels high
// unscaled, 33 and 43 here.
TEST_F(Arrangement, EveryEasingAtEveryScaleEndsOnItsTargetsWithRingsAndBannerInPlace) {
    struct Case {
        const char* easing;
        const char* resources;  // loaded with xrdb before the program starts: a scaled desktop
        std::vector<std::string> environment;
    };
    std::vector<Case> cases;
    for (const char* easing : {"linear", "easeIn", "easeOut", "easeInOut", "bouncy", "snappy",
                               "billiards", "gravity", "random"}) {
        cases.push_back({easing, nullptr, {}});
    }
    cases.push_back({"random", "Xft.dpi: 192\n", {}});
    cases.push_back({"random", "", {"QT_SCALE_FACTOR=1.5"}});
    // Resources go with the server: each case has a desktop of its own.
    const std::filesystem::path resources = std::filesystem::temp_directory_path() /
                                            ("tallowmere-e2e-xrdb-" + std::to_string(getpid()));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.easing) + " " + (c.resources ? c.resources : "") +
                     (c.environment.empty() ? "" : c.environment.front()));
        freshDesktop();
        if (c.resources) {
            std::ofstream(resources) << c.resources;
            ASSERT_EQ(session_->run({"xrdb", "-load", resources.string()}), 0);
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
        expectFrames({{&a, {690 - w_ / 2, 300}}, {&b, {710 + w_ / 2, 300}}});
        TearDown();
    }
    std::filesystem::remove(resources);
}

// The X server dies: the program says so once and exits non-zero, and leaves its preferences
// file as it was.
TEST_F(Arrangement, LosingTheXServerEndsTheProgramCleanly) {
    startWith(preferences("none"), 300, 300);
    // Start-up complete, its last line written: whatever comes after is about the lost server.
    ASSERT_TRUE(waitUntil([&] { return app_->countLines("tallowmere: started") == 1; }));
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

}  // namespace
}  // namespace tallowmere::e2e

int main(int argc, char** argv) {
    return tallowmere::kit::runOnPrivateDesktop(argc, argv);
}
