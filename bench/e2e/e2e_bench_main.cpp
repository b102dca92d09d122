// The end-to-end benchmark: tallowmere against a minimal xcb client (the floor) and a polling shell
// script on a live X server, all in one run; prints a table and the same figures as JSON.
//
//   tallowmere_e2e_bench --tallowmere PATH --floor PATH --poller PATH [--json FILE]
//
// BENCH_REPEAT (5) runs of the reaction sequence and of the glide; BENCH_IDLE_SECONDS (60) of idle
// watching, shared among the glide runs; BENCH_GLIDE_ONLY=1 skips the reaction runs. With --json
// the JSON goes to FILE, not to the output.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "bench/e2e/bench_windows.h"
#include "bench/e2e/contender.h"
#include "bench/e2e/frame_watch.h"
#include "bench/e2e/report.h"
#include "bench/e2e/scenarios.h"
#include "bench/e2e/xcb_helpers.h"

namespace tb = tallowmere::bench;
namespace fs = std::filesystem;

namespace {

constexpr const char* kClass = "TmBench";
constexpr double kNotificationDelay = 0.05;
constexpr double kGlideSeconds = 2.0;
constexpr size_t kGlideWindows = 10;
constexpr size_t kReactionWindows = 64;
// The polling script takes half a second and a wmctrl call per window for each step: beyond 16
// windows it would only lengthen the run.
constexpr size_t kPollerWindows = 16;

struct Paths {
    std::string tallowmere;
    std::string floor;
    std::string poller;
    std::string json;
    fs::path work;
};

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return in ? one + " " + five + " " + fifteen : "unknown";
}

double envNumber(const char* name, double fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::atof(value) : fallback;
}

void writePreferences(const fs::path& configHome, const std::string& easing, double duration) {
    fs::create_directories(configHome / "tallowmere");
    std::ofstream(configHome / "tallowmere" / "preferences.json")
        << "{\"monitoredBundleIdentifiers\": [\"" << kClass << "\"], "
        << "\"windowSpacingMargin\": 10, \"animationEasing\": \"" << easing << "\", "
        << "\"animationDuration\": " << duration << ", \"showFlashOverlay\": false}\n";
}

std::unique_ptr<tb::Contender> startOurs(tb::FrameWatch& watch, const Paths& paths) {
    return std::make_unique<tb::Contender>(
        watch, std::vector<std::string>{paths.tallowmere, "--verbose"},
        std::vector<std::string>{"XDG_CONFIG_HOME=" + (paths.work / "config").string()});
}

// Our program is ready once it watches the class, which it announces when it sees the first
// window (or at start, when the windows are already there).
bool oursReady(tb::Contender& ours, tb::Report& report) {
    const double start = tb::nowSeconds();
    const bool ready = ours.waitForLine("監視開始", 30);
    if (ready) {
        report.slowestStart = std::max(report.slowestStart, tb::nowSeconds() - start);
    }
    return ready;
}

void closeWindows(tb::FrameWatch& watch, tb::BenchWindows& windows) {
    const auto open = windows.windows();
    windows.closeAll();
    watch.waitUnlisted(open, 5);
}

bool fail(const std::string& why, const tb::Contender* contender = nullptr) {
    std::cerr << "bench: " << why << '\n';
    if (contender != nullptr) {
        for (const auto& line : contender->output().lines()) {
            std::cerr << "  | " << line << '\n';
        }
    }
    return false;
}

// Our program with windows opened one by one from the first. A start that never announces it
// watches the class is counted and retried, so that one missed start does not lose the run.
std::optional<std::vector<tb::Step>> oursSequence(tb::FrameWatch& watch, tb::BenchWindows& windows,
                                                  const Paths& paths, size_t count,
                                                  tb::Report& report,
                                                  std::unique_ptr<tb::Contender>& ours) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        ours = startOurs(watch, paths);
        bool ready = false;
        const auto steps = tb::runSequence(
            watch, windows, {.count = count, .quietSeconds = 0.2, .afterFirstWindow = [&] {
                                 ready = oursReady(*ours, report);
                                 return ready;
                             }});
        if (steps || ready) {
            return steps;
        }
        ++report.missedStarts;
        std::cerr << "bench: tallowmere did not announce watching the first window; again\n";
        ours->stop();
        closeWindows(watch, windows);
    }
    return std::nullopt;
}

bool runReaction(tb::FrameWatch& watch, tb::BenchWindows& windows, const Paths& paths, int repeat,
                 tb::Report& report) {
    writePreferences(paths.work / "config", "none", 0.3);
    const auto targetsFile = (paths.work / "reaction-targets").string();
    for (int run = 0; run < repeat; ++run) {
        {
            std::unique_ptr<tb::Contender> ours;
            const auto steps = oursSequence(watch, windows, paths, kReactionWindows, report, ours);
            if (!steps || !ours->running()) {
                return fail("tallowmere did not finish the sequence", ours.get());
            }
            report.addReaction("ours", *steps);
            if (run == 0) {
                report.targets = tb::targetsOf(*steps);
                tb::writeTargets(report.targets, targetsFile);
            }
            ours->stop();
            closeWindows(watch, windows);
        }
        {
            tb::Contender floor(watch, {paths.floor, kClass, targetsFile}, {});
            if (!floor.waitForLine("ready", 10)) {
                return fail("the floor client did not start", &floor);
            }
            const auto steps = tb::runSequence(
                watch, windows,
                {.count = kReactionWindows, .targets = &report.targets, .quietSeconds = 0.15});
            if (!steps) {
                return fail("the floor client did not finish the sequence", &floor);
            }
            report.addReaction("floor", *steps);
            floor.stop();
            closeWindows(watch, windows);
        }
        {
            tb::Contender poller(watch, {paths.poller, kClass, targetsFile}, {});
            if (!poller.waitForLine("ready", 10)) {
                return fail("the polling script did not start", &poller);
            }
            const auto steps = tb::runSequence(watch, windows,
                                               {.count = kPollerWindows,
                                                .targets = &report.targets,
                                                .firstMoveTimeout = 3,
                                                .quietSeconds = 0.3});
            if (!steps) {
                return fail("the polling script did not finish the sequence", &poller);
            }
            report.addReaction("poller", *steps);
            poller.stop();
            closeWindows(watch, windows);
        }
    }
    return true;
}

// The nine-window row pulled apart vertically, so that every window travels far enough in the
// glide to change place on every frame.
std::vector<tb::Point> scattered(const std::vector<tb::Point>& row) {
    std::vector<tb::Point> places = row;
    for (size_t i = 0; i < places.size(); ++i) {
        places[i].y += i % 2 == 0 ? 260 : -260;
    }
    return places;
}

bool runGlideAndIdle(tb::FrameWatch& watch, tb::BenchWindows& windows, const Paths& paths,
                     double idleSeconds, tb::Report& report) {
    // The row of nine is laid out at once, then the program restarts with the glide to time.
    writePreferences(paths.work / "config", "none", kGlideSeconds);
    tb::Targets targets;
    {
        std::unique_ptr<tb::Contender> ours;
        const auto steps = oursSequence(watch, windows, paths, kGlideWindows - 1, report, ours);
        if (!steps) {
            return fail("tallowmere did not lay out the first row", ours.get());
        }
        targets = tb::targetsOf(*steps);
    }
    const auto apart = scattered(targets[kGlideWindows - 1]);
    if (!tb::placeFrames(watch, windows, apart)) {
        return fail("the windows could not be pulled apart");
    }
    writePreferences(paths.work / "config", "linear", kGlideSeconds);
    {
        auto ours = startOurs(watch, paths);
        if (!ours->waitForLine("監視開始", 10)) {
            return fail("tallowmere did not start watching", ours.get());
        }
        tb::waitStill(watch, 0.5, 10);
        const auto before = ours->stats();
        const auto glide = tb::runGlide(watch, windows, kGlideSeconds);
        const auto after = ours->stats();
        if (!glide || !before || !after) {
            return fail("tallowmere's glide was not seen", ours.get());
        }
        report.addGlide("ours", *glide, *before, *after);
        targets[kGlideWindows] = glide->finals;

        const auto idleStart = ours->stats();
        const double end = tb::nowSeconds() + idleSeconds;
        while (tb::nowSeconds() < end) {
            watch.pump(end - tb::nowSeconds());
        }
        const auto idleEnd = ours->stats();
        if (!idleStart || !idleEnd) {
            return fail("tallowmere exited while idle", ours.get());
        }
        report.addIdle(idleSeconds, *idleStart, *idleEnd);
    }
    closeWindows(watch, windows);

    const auto targetsFile = (paths.work / "glide-targets").string();
    tb::writeTargets(targets, targetsFile);
    // Two floors: one that sends blindly, and one that keeps a move in flight per window as we do.
    for (const bool confirm : {false, true}) {
        const std::string who = confirm ? "floor+c" : "floor";
        std::vector<std::string> args{paths.floor,
                                      kClass,
                                      targetsFile,
                                      "--animate",
                                      std::to_string(kGlideWindows),
                                      std::to_string(kGlideSeconds)};
        if (confirm) {
            args.emplace_back("--confirm");
        }
        tb::Contender floor(watch, args, {});
        if (!floor.waitForLine("ready", 10)) {
            return fail("the floor client did not start", &floor);
        }
        if (!tb::runSequence(watch, windows, {.count = kGlideWindows - 1, .targets = &targets})) {
            return fail("the floor client did not lay out the first row", &floor);
        }
        if (!tb::placeFrames(watch, windows, apart)) {
            return fail("the windows could not be pulled apart");
        }
        const auto before = floor.stats();
        const auto glide = tb::runGlide(watch, windows, kGlideSeconds);
        const auto after = floor.stats();
        if (!glide || !before || !after) {
            return fail("the floor client's glide was not seen", &floor);
        }
        report.addGlide(who, *glide, *before, *after);
        floor.stop();
        closeWindows(watch, windows);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Paths paths;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        (flag == "--tallowmere" ? paths.tallowmere
         : flag == "--floor"    ? paths.floor
         : flag == "--json"     ? paths.json
                                : paths.poller) = argv[i + 1];
    }
    if (paths.tallowmere.empty() || paths.floor.empty() || paths.poller.empty()) {
        std::cerr << "usage: " << argv[0]
                  << " --tallowmere PATH --floor PATH --poller PATH [--json FILE]\n";
        return 2;
    }
    if (std::getenv("TALLOWMERE_PRIVATE_DISPLAY") == nullptr) {
        std::cerr << "bench: refusing to run outside scripts/with-desktop\n";
        return 2;
    }
    char dir[] = "/tmp/tallowmere-e2e-bench.XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return 1;
    }
    paths.work = dir;

    tb::FrameWatch watch;
    tb::BenchWindows windows(kClass);
    if (!watch.ok() || !windows.ok()) {
        std::cerr << "bench: cannot connect to the X server\n";
        return 1;
    }
    tb::Report report(kNotificationDelay, loadAverage());
    const int repeat = std::max(1, static_cast<int>(envNumber("BENCH_REPEAT", 5)));
    const double idleSeconds = envNumber("BENCH_IDLE_SECONDS", 60);
    // BENCH_GLIDE_ONLY=1 skips the reaction runs, to look at the animation alone.
    const bool glideOnly = envNumber("BENCH_GLIDE_ONLY", 0) != 0;
    bool ok = glideOnly || runReaction(watch, windows, paths, repeat, report);
    for (int run = 0; ok && run < repeat; ++run) {
        ok = runGlideAndIdle(watch, windows, paths, idleSeconds / repeat, report);
    }
    fs::remove_all(paths.work);
    if (!ok) {
        return 1;
    }
    report.printTable(std::cout);
    if (paths.json.empty()) {
        report.printJson(std::cout);
        return 0;
    }
    std::ofstream json(paths.json);
    report.printJson(json);
    json.close();
    if (!json) {
        std::cerr << "bench: cannot write " << paths.json << '\n';
        return 1;
    }
    return 0;
}
