#include "program_under_test.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace tallowmere::kit {
namespace {

std::filesystem::path homeWith(const std::string& preferencesJson) {
    char pattern[] = "/tmp/tallowmere-e2e.XXXXXX";
    const std::filesystem::path home = mkdtemp(pattern);
    std::filesystem::create_directories(home / "tallowmere");
    std::ofstream(home / "tallowmere" / "preferences.json", std::ios::binary) << preferencesJson;
    return home;
}

std::vector<std::string> with(std::vector<std::string> assignments,
                              const std::vector<std::string>& more) {
    assignments.insert(assignments.end(), more.begin(), more.end());
    return assignments;
}

}  // namespace

std::string rowPreferences(const std::string& wmClass, const std::string& easing, double duration,
                           bool flash) {
    std::ostringstream json;
    json << R"({"monitoredBundleIdentifiers": [")" << wmClass << R"("], "windowSpacingMargin": 20,)"
         << R"( "animationEasing": ")" << easing << R"(", "animationDuration": )" << duration
         << R"(, "showFlashOverlay": )" << (flash ? "true" : "false")
         << R"(, "alignmentAnchor": "windowCentroid", "alwaysOpenNewWindowOnRight": true})";
    return json.str();
}

Tallowmere::Tallowmere(const std::string& preferencesJson, const std::string& display,
                       const std::vector<std::string>& environment)
    : Tallowmere(homeWith(preferencesJson), display, environment) {}

Tallowmere::Tallowmere(std::filesystem::path home, const std::string& display,
                       const std::vector<std::string>& environment)
    : ChildProcess({TALLOWMERE_BINARY, "--verbose"},
                   with({"XDG_CONFIG_HOME=" + home.string(), "DISPLAY=" + display}, environment)),
      home_(std::move(home)) {}

Tallowmere::~Tallowmere() {
    signal(SIGKILL);
    waitExit(10);
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
}

std::string Tallowmere::preferencesBytes() const {
    std::ifstream in(home_ / "tallowmere" / "preferences.json", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Tallowmere::expectCleanQuit() {
    EXPECT_TRUE(running()) << errorOutput();
    signal(SIGTERM);
    EXPECT_EQ(waitExit(30), 0) << errorOutput();
    for (const char* trouble : {"X error", "Sanitizer", "runtime error"}) {
        EXPECT_EQ(countLines(trouble), 0u) << errorOutput().substr(0, 4000);
    }
}

Finished runTallowmere(const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment) {
    ChildProcess process(with({TALLOWMERE_BINARY}, arguments), environment);
    const auto status = process.waitExit(20);
    return {status, process.standardOutput(), process.errorOutput()};
}

Xterm openXterm(Probe& desktop, int x, int y, const std::string& wmClass) {
    Xterm xterm;
    const std::string geometry = "80x24+" + std::to_string(x) + "+" + std::to_string(y);
    // No shell: nothing retitles the window or reads a profile.
    xterm.process = std::make_unique<ChildProcess>(
        std::vector<std::string>{"xterm", "-class", wmClass, "-geometry", geometry, "-e", "sleep",
                                 "600"},
        std::vector<std::string>{"DISPLAY=" + desktop.display()});
    xterm.window = desktop.waitForWindowOf(xterm.process->pid()).value_or(XCB_WINDOW_NONE);
    return xterm;
}

}  // namespace tallowmere::kit
