#include "kwin_session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace tallowmere::kit {
namespace {

const char* const kWindowList =
    "var list = typeof workspace.windowList === 'function' ? workspace.windowList()"
    " : workspace.clientList();\n";

std::string logPath() {
    const char* log = std::getenv("TALLOWMERE_KWIN_LOG");
    return log ? log : "";
}

int scripting(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{"dbus-send", "--session", "--print-reply", "--dest=org.kde.KWin",
                                  "/Scripting"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return run(argv);
}

}  // namespace

int runOnPrivateKWin(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* own = std::getenv("TALLOWMERE_PRIVATE_WAYLAND");
    if (!runtime || !wayland || !own || std::string(runtime) + "/" + wayland != own ||
        logPath().empty()) {
        std::cerr << "refusing to run: not a private KWin session from scripts/with-desktop "
                     "--kwin\n";
        return 1;
    }
    return RUN_ALL_TESTS();
}

WaylandWindow::WaylandWindow(const std::string& client, const std::string& appId,
                             const std::string& title, int width, int height, WindowOptions options)
    : title_(title) {
    std::vector<std::string> argv{client, appId, title, std::to_string(width),
                                  std::to_string(height)};
    if (options.dialog) {
        argv.push_back("dialog");
    }
    process_ = std::make_unique<ChildProcess>(
        Spawn{argv, {options.x11 ? "QT_QPA_PLATFORM=xcb" : "QT_QPA_PLATFORM=wayland"}});
    process_->waitForLine("shown");
}

KWinProbe::~KWinProbe() {
    for (const std::string& name : watchers_) {
        unload(name);
    }
}

std::string KWinProbe::load(const std::string& body) {
    // Unique across the probes of one test binary: the log keeps an earlier probe's lines.
    static int serial = 0;
    const std::string name =
        "tallowmere-probe-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    {
        std::ofstream script(pathOf(name));
        script << "function report(s) { print('" << name << " ' + s); }\n"
               << kWindowList << body << "\n";
    }
    scripting({"org.kde.kwin.Scripting.loadScript", "string:" + pathOf(name), "string:" + name});
    scripting({"org.kde.kwin.Scripting.start"});
    return name;
}

void KWinProbe::unload(const std::string& name) {
    scripting({"org.kde.kwin.Scripting.unloadScript", "string:" + name});
    std::remove(pathOf(name).c_str());
}

std::string KWinProbe::pathOf(const std::string& name) {
    return std::string(std::getenv("XDG_RUNTIME_DIR")) + "/" + name + ".js";
}

std::vector<std::string> KWinProbe::reported(const std::string& name) {
    // KWin prints a script's lines to its standard error, which with-desktop keeps in a file.
    const std::string mark = name + " ";
    std::vector<std::string> lines;
    std::ifstream log(logPath());
    for (std::string line; std::getline(log, line);) {
        const auto at = line.find(mark);
        if (at != std::string::npos) {
            lines.push_back(line.substr(at + mark.size()));
        }
    }
    return lines;
}

std::string KWinProbe::watch(const std::string& body) {
    watchers_.push_back(load(body));
    return watchers_.back();
}

std::vector<std::string> KWinProbe::evaluate(const std::string& body) {
    const std::string name = load(body + "\nreport('end');");
    std::vector<std::string> lines;
    waitUntil(
        [&] {
            lines = reported(name);
            return !lines.empty() && lines.back() == "end";
        },
        10);
    unload(name);
    if (!lines.empty()) {
        lines.pop_back();
    }
    return lines;
}

std::map<std::string, KWinFrame> KWinProbe::frames() {
    std::map<std::string, KWinFrame> result;
    // The title last: it may hold spaces.
    for (const std::string& line :
         evaluate("for (var i = 0; i < list.length; ++i) { var w = list[i], g = w.frameGeometry;"
                  " report(g.x + ' ' + g.y + ' ' + g.width + ' ' + g.height + ' ' +"
                  " (w.minimized ? 1 : 0) + ' ' + (w.active ? 1 : 0) + ' ' + w.caption); }")) {
        std::istringstream in(line);
        KWinFrame f;
        std::string title;
        if (in >> f.x >> f.y >> f.width >> f.height >> f.minimized >> f.active &&
            std::getline(in >> std::ws, title)) {
            result[title] = f;
        }
    }
    return result;
}

std::optional<KWinFrame> KWinProbe::frameOf(const std::string& title) {
    auto all = frames();
    auto it = all.find(title);
    return it == all.end() ? std::nullopt : std::optional<KWinFrame>(it->second);
}

// Titles here are the tests' own plain words: no quoting needed.
void KWinProbe::setMinimized(const std::string& title, bool minimized) {
    evaluate("for (var i = 0; i < list.length; ++i) { var w = list[i]; if (w.caption === '" +
             title + "') w.minimized = " + (minimized ? "true" : "false") + "; }");
    if (!minimized) {
        activate(title);
    }
}

void KWinProbe::activate(const std::string& title) {
    evaluate("for (var i = 0; i < list.length; ++i) { var w = list[i]; if (w.caption === '" +
             title +
             "') { if (typeof workspace.activeWindow !== 'undefined') workspace.activeWindow = w;"
             " else workspace.activeClient = w; } }");
}

void KWinProbe::moveTo(const std::string& title, int x, int y) {
    evaluate(
        "for (var i = 0; i < list.length; ++i) { var w = list[i], g = w.frameGeometry;"
        " if (w.caption === '" +
        title + "') w.frameGeometry = {x: " + std::to_string(x) + ", y: " + std::to_string(y) +
        ", width: g.width, height: g.height}; }");
}

}  // namespace tallowmere::kit
