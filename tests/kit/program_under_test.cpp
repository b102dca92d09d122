#include "program.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

namespace tallowmere::e2e {

Tallowmere::Tallowmere(const std::string& preferencesJson, const std::string& display,
                       const std::vector<std::string>& environment) {
    char pattern[] = "/tmp/tallowmere-e2e.XXXXXX";
    home_ = mkdtemp(pattern);
    preferences_ = home_ / "tallowmere" / "preferences.json";
    std::filesystem::create_directories(preferences_.parent_path());
    std::ofstream(preferences_, std::ios::binary) << preferencesJson;
    std::vector<std::string> assignments{"XDG_CONFIG_HOME=" + home_.string(), "DISPLAY=" + display};
    assignments.insert(assignments.end(), environment.begin(), environment.end());
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{TALLOWMERE_BINARY, "--verbose"}, assignments);
}

Tallowmere::~Tallowmere() {
    process_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
}

std::string Tallowmere::preferencesBytes() const {
    std::ifstream in(preferences_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Finished runTallowmere(const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment) {
    std::vector<std::string> argv{TALLOWMERE_BINARY};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ChildProcess process(kit::Spawn{argv, environment, true});
    Finished run;
    run.status = process.waitExit(20);
    run.out = process.standardOutput();
    run.err = process.errorOutput();
    return run;
}

Xterm openXterm(Desktop& desktop, int x, int y, const std::string& wmClass) {
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

}  // namespace tallowmere::e2e
