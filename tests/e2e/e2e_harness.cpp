#include "e2e_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tallowmere::e2e {
namespace {

void pauseMs(int ms) {
    pollfd none{-1, 0, 0};
    poll(&none, 0, ms);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::optional<Extents> windowManagerExtents() {
    const char* wm = std::getenv("TALLOWMERE_WM");
    const std::string name = wm ? wm : "";
    if (name == "openbox") {
        return Extents{1, 1, 20, 5};
    }
    if (name == "xfwm4") {
        return Extents{5, 5, 29, 5};
    }
    return std::nullopt;
}

bool waitUntil(const std::function<bool()>& condition, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        pauseMs(10);
    }
    return true;
}

// ---- processes ----

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                 const std::optional<std::filesystem::path>& stderrFile,
                 const std::optional<std::filesystem::path>& stdoutFile) {
    pid_ = fork();
    if (pid_ != 0) {
        return;
    }
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(stdoutFile ? open(stdoutFile->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644) : null, 1);
    const int err =
        stderrFile ? open(stderrFile->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644) : null;
    dup2(err, 2);
    for (const std::string& assignment : environment) {
        if (assignment.find('=') == std::string::npos) {
            unsetenv(assignment.c_str());
        } else {
            putenv(strdup(assignment.c_str()));
        }
    }
    tallowmere::x11test::execArgv(argv);
}

Process::~Process() {
    if (running()) {
        kill(pid_, SIGKILL);
        waitExit(10);
    }
}

bool Process::running() {
    if (status_ || pid_ <= 0) {
        return false;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

void Process::signal(int number) {
    if (running()) {
        kill(pid_, number);
    }
}

std::optional<int> Process::waitExit(double seconds) {
    waitUntil([&] { return !running(); }, seconds);
    return status_;
}

// ---- the program ----

Tallowmere::Tallowmere(const std::string& preferencesJson, const std::string& display,
                       const std::vector<std::string>& environment) {
    char pattern[] = "/tmp/tallowmere-e2e.XXXXXX";
    home_ = mkdtemp(pattern);
    preferences_ = home_ / "tallowmere" / "preferences.json";
    std::filesystem::create_directories(preferences_.parent_path());
    std::ofstream(preferences_, std::ios::binary) << preferencesJson;
    stderr_ = home_ / "stderr.txt";
    std::vector<std::string> assignments{"XDG_CONFIG_HOME=" + home_.string(), "DISPLAY=" + display};
    assignments.insert(assignments.end(), environment.begin(), environment.end());
    process_ = std::make_unique<Process>(std::vector<std::string>{TALLOWMERE_BINARY, "--verbose"},
                                         assignments, stderr_);
}

Tallowmere::~Tallowmere() {
    process_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
}

std::string Tallowmere::errorOutput() const {
    return readFile(stderr_);
}

std::vector<std::string> Tallowmere::linesWith(const std::string& fragment) const {
    std::vector<std::string> lines;
    std::istringstream text(errorOutput());
    for (std::string line; std::getline(text, line);) {
        if (line.find(fragment) != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::size_t Tallowmere::countLines(const std::string& fragment) const {
    return linesWith(fragment).size();
}

std::string Tallowmere::preferencesBytes() const {
    return readFile(preferences_);
}

Finished runTallowmere(const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment) {
    char pattern[] = "/tmp/tallowmere-e2e-run.XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    std::vector<std::string> argv{TALLOWMERE_BINARY};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    Finished run;
    {
        Process process(argv, environment, dir / "err", dir / "out");
        run.status = process.waitExit(20);
    }
    run.out = readFile(dir / "out");
    run.err = readFile(dir / "err");
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return run;
}

// ---- the desktop ----

std::optional<std::uint32_t> Desktop::cardinal(xcb_window_t window, const char* property) {
    xcb_connection_t* c = probe_.conn();
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, probe_.atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 1),
        nullptr);
    std::optional<std::uint32_t> value;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4) {
        value = *static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    }
    std::free(reply);
    return value;
}

bool Desktop::listed(xcb_window_t client) {
    const auto list = probe_.clientList();
    return std::find(list.begin(), list.end(), client) != list.end();
}

bool Desktop::normalState(xcb_window_t client) {
    return cardinal(client, "WM_STATE") == std::uint32_t{XCB_ICCCM_WM_STATE_NORMAL};
}

std::optional<xcb_window_t> Desktop::waitForWindowOf(pid_t pid) {
    std::optional<xcb_window_t> found;
    waitUntil([&] {
        for (xcb_window_t window : probe_.clientList()) {
            if (cardinal(window, "_NET_WM_PID") == std::uint32_t(pid) && normalState(window)) {
                found = window;
                return true;
            }
        }
        return false;
    });
    return found;
}

std::vector<Box> Desktop::unmanagedWindowsOf(pid_t pid) {
    xcb_connection_t* c = probe_.conn();
    std::vector<Box> boxes;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(c, xcb_query_tree(c, probe_.root()), nullptr);
    if (!tree) {
        return boxes;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
        const bool shown = attributes && attributes->override_redirect &&
                           attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        if (!shown || cardinal(children[i], "_NET_WM_PID") != std::uint32_t(pid)) {
            continue;
        }
        xcb_get_geometry_reply_t* geometry =
            xcb_get_geometry_reply(c, xcb_get_geometry(c, children[i]), nullptr);
        if (geometry) {
            boxes.push_back({geometry->x, geometry->y, geometry->width, geometry->height});
        }
        std::free(geometry);
    }
    std::free(tree);
    return boxes;
}

std::pair<int, int> Desktop::clientSize(xcb_window_t client) {
    xcb_connection_t* c = probe_.conn();
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, client), nullptr);
    std::pair<int, int> size{0, 0};
    if (geometry) {
        size = {geometry->width, geometry->height};
    }
    std::free(geometry);
    return size;
}

xcb_window_t Desktop::openDialog(xcb_window_t parent, int x, int y) {
    return openWindow(std::string("dialog") + '\0' + "XTerm" + '\0', x, y, parent);
}

xcb_window_t Desktop::openWindow(const std::string& wmClassBytes, int x, int y,
                                 std::optional<xcb_window_t> transientFor) {
    xcb_connection_t* c = probe_.conn();
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, std::int16_t(x),
                      std::int16_t(y), 240, 120, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        std::uint32_t(wmClassBytes.size()), wmClassBytes.data());
    if (transientFor) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_TRANSIENT_FOR,
                            XCB_ATOM_WINDOW, 32, 1, &*transientFor);
        const xcb_atom_t dialog = probe_.atom("_NET_WM_WINDOW_TYPE_DIALOG");
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, probe_.atom("_NET_WM_WINDOW_TYPE"),
                            XCB_ATOM_ATOM, 32, 1, &dialog);
    }
    const std::uint32_t self = std::uint32_t(getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, probe_.atom("_NET_WM_PID"),
                        XCB_ATOM_CARDINAL, 32, 1, &self);
    xcb_size_hints_t hints{};
    xcb_icccm_size_hints_set_position(&hints, 1, x, y);
    xcb_icccm_set_wm_normal_hints(c, window, &hints);
    xcb_map_window(c, window);
    xcb_flush(c);
    return window;
}

void Desktop::closeWindow(xcb_window_t window) {
    xcb_destroy_window(probe_.conn(), window);
    xcb_flush(probe_.conn());
}

Xterm openXterm(Desktop& desktop, int x, int y, const std::string& wmClass) {
    Xterm xterm;
    const std::string geometry = "80x24+" + std::to_string(x) + "+" + std::to_string(y);
    // No shell: nothing retitles the window or reads a profile.
    xterm.process =
        std::make_unique<Process>(std::vector<std::string>{"xterm", "-class", wmClass, "-geometry",
                                                           geometry, "-e", "sleep", "600"},
                                  std::vector<std::string>{"DISPLAY=" + desktop.display()});
    xterm.window = desktop.waitForWindowOf(xterm.process->pid()).value_or(XCB_WINDOW_NONE);
    return xterm;
}

}  // namespace tallowmere::e2e
