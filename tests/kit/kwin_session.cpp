#include "kwin_session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace tallowmere::kit {
namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string pathOf(const std::string& name) {
    return env("XDG_RUNTIME_DIR") + "/" + name + ".js";
}

void scripting(const std::string& method, std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(),
                     {"dbus-send", "--session", "--print-reply", "--dest=org.kde.KWin",
                      "/Scripting", "org.kde.kwin.Scripting." + method});
    run(arguments);
}

std::string load(const std::string& body) {
    // Unique across the probes of one test binary: the log keeps an earlier probe's lines.
    static int serial = 0;
    const std::string name =
        "tallowmere-probe-" + std::to_string(getpid()) + "-" + std::to_string(++serial);
    // The names KWin 6 changed are looked up.
    std::ofstream(pathOf(name))
        << "function report(s) { print('" << name << " ' + s); }\n"
        << "var list = typeof workspace.windowList === 'function' ? workspace.windowList()"
           " : workspace.clientList();\n"
           "function activate(w) { if (typeof workspace.activeWindow !== 'undefined')"
           " workspace.activeWindow = w; else workspace.activeClient = w; }\n"
        << body << "\n";
    scripting("loadScript", {"string:" + pathOf(name), "string:" + name});
    scripting("start");
    return name;
}

void unload(const std::string& name) {
    scripting("unloadScript", {"string:" + name});
    std::remove(pathOf(name).c_str());
}

}  // namespace

int runOnPrivateKWin(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (env("TALLOWMERE_KWIN_LOG").empty() ||
        env("XDG_RUNTIME_DIR") + "/" + env("WAYLAND_DISPLAY") !=
            env("TALLOWMERE_PRIVATE_WAYLAND")) {
        std::cerr << "refusing to run: not a private KWin session from scripts/with-desktop "
                     "--kwin\n";
        return 1;
    }
    return RUN_ALL_TESTS();
}

WaylandWindow::WaylandWindow(const std::string& client, const std::string& appId,
                             const std::string& title, const std::string& mode)
    : ChildProcess({client, appId, title, mode},
                   {mode == "x11" ? "QT_QPA_PLATFORM=xcb" : "QT_QPA_PLATFORM=wayland"}) {
    waitForLine("shown");
}

KWinProbe::~KWinProbe() {
    for (const std::string& name : watchers_) {
        unload(name);
    }
}

std::vector<std::string> KWinProbe::reported(const std::string& name) {
    // KWin prints a script's lines to its standard error, which with-desktop keeps in a file.
    const std::string mark = name + " ";
    std::vector<std::string> lines;
    std::ifstream log(env("TALLOWMERE_KWIN_LOG"));
    for (std::string line; std::getline(log, line);) {
        if (const auto at = line.find(mark); at != std::string::npos) {
            lines.push_back(line.substr(at + mark.size()));
        }
    }
    return lines;
}

std::string KWinProbe::watch(const std::string& body) {
    return watchers_.emplace_back(load(body));
}

std::vector<std::string> KWinProbe::evaluate(const std::string& body) {
    const std::string name = load(body + "\nreport('end');");
    std::vector<std::string> lines;
    waitUntil([&] {
        lines = reported(name);
        return !lines.empty() && lines.back() == "end";
    });
    unload(name);
    std::erase(lines, "end");
    return lines;
}

std::map<std::string, KWinFrame> KWinProbe::frames() {
    std::map<std::string, KWinFrame> result;
    // The title last: it may hold spaces.
    for (const std::string& line :
         evaluate("for (var i = 0; i < list.length; ++i) { var w = list[i], g = w.frameGeometry;"
                  " report(g.x + ' ' + g.y + ' ' + g.width + ' ' + g.height + ' ' +"
                  " (w.active ? 1 : 0) + ' ' + w.caption); }")) {
        std::istringstream in(line);
        KWinFrame f;
        std::string title;
        if (in >> f.x >> f.y >> f.width >> f.height >> f.active &&
            std::getline(in >> std::ws, title)) {
            result[title] = f;
        }
    }
    return result;
}

// Titles here are the tests' own plain words: no quoting needed.
void KWinProbe::act(const std::string& title, const std::string& statement) {
    evaluate("for (var i = 0; i < list.length; ++i) { var w = list[i]; if (w.caption === '" +
             title + "') { " + statement + "; } }");
}

}  // namespace tallowmere::kit
