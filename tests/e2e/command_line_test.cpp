// The command line, and one program per X display: a second start hands over to the running
// program, commands reach it, and a killed program leaves nothing that stops the next start.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>

#include "program_under_test.h"

namespace tallowmere::e2e {
namespace {

using namespace kit;

const std::string kPreferences = R"({"monitoredBundleIdentifiers": ["XTerm"]})";

// A display number with no server behind it (no socket, no lock), found on this machine now.
std::string unreachableDisplay() {
    for (int n = 77;; ++n) {
        const std::string number = std::to_string(n);
        if (!std::filesystem::exists("/tmp/.X11-unix/X" + number) &&
            !std::filesystem::exists("/tmp/.X" + number + "-lock")) {
            return ":" + number;
        }
    }
}

// None of these starts the program: each ends at once with its status and its words.
TEST(CommandLine, UsageVersionAndMistakesEndAtOnce) {
    const std::string nowhere = unreachableDisplay();
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
        const Finished run = runTallowmere(c.arguments, c.environment);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.out.substr(0, c.out.size()), c.out) << run.out;
        EXPECT_EQ(c.out.empty(), run.out.empty()) << run.out;
        EXPECT_EQ(c.errWhole ? run.err : run.err.substr(0, c.err.size()), c.err);
    }
}

TEST(CommandLine, OneProgramPerDisplayAndCommandsReachIt) {
    const std::string display = std::getenv("DISPLAY");
    Probe desktop(display);
    const std::string notRunning =
        "tallowmere: tallowmere is not running on display " + display + "; start it first\n";
    EXPECT_EQ(runTallowmere({"--settings"}).err, notRunning);
    EXPECT_EQ(runTallowmere({"--quit"}).status, 1);

    // A second start shows the first one's settings window and ends.
    auto first = std::make_unique<Tallowmere>(kPreferences, display);
    ASSERT_TRUE(waitUntil([&] { return first->countLines("tallowmere: started") == 1; }))
        << first->errorOutput();
    const Finished second = runTallowmere({});
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.err, "");
    EXPECT_TRUE(desktop.waitForWindowOf(first->pid()))
        << "the running program showed no settings window\n"
        << first->errorOutput();
    EXPECT_TRUE(first->running());

    // Killed, it leaves no claim behind: the next start is the running program.
    first->signal(SIGKILL);
    ASSERT_TRUE(first->waitExit(10));
    Tallowmere next(kPreferences, display);
    ASSERT_TRUE(waitUntil([&] { return next.countLines("tallowmere: started") == 1; }))
        << next.errorOutput();

    const Finished quit = runTallowmere({"--quit"});
    EXPECT_EQ(quit.status, 0) << quit.err;
    EXPECT_EQ(next.waitExit(10), 0) << next.errorOutput();
    EXPECT_EQ(runTallowmere({"--center"}).err, notRunning);
}

}  // namespace
}  // namespace tallowmere::e2e
