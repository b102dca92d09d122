#include "private_desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb_icccm.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

namespace tallowmere::x11test {
namespace {

using Clock = std::chrono::steady_clock;

void pause20ms() {
    pollfd none{-1, 0, 0};
    poll(&none, 0, 20);
}

void stop(pid_t& pid) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
}

pid_t spawn(const std::vector<std::string>& argv, const std::optional<std::string>& display,
            int displayFd = -1) {
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    if (displayFd >= 0) {
        dup2(displayFd, 3);
    }
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (display) {
        setenv("DISPLAY", display->c_str(), 1);
    }
    execArgv(argv);
}

std::optional<std::string> readDisplayNumber(int fd) {
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 1000) <= 0) {
            continue;
        }
        char c = 0;
        if (read(fd, &c, 1) != 1) {
            return std::nullopt;
        }
        if (c == '\n') {
            return number.empty() ? std::nullopt : std::optional<std::string>(":" + number);
        }
        number += c;
    }
    return std::nullopt;
}

xcb_window_t checkWindowOf(xcb_connection_t* c, xcb_window_t window, xcb_atom_t check) {
    xcb_get_property_cookie_t cookie = xcb_get_property(c, 0, window, check, XCB_ATOM_WINDOW, 0, 1);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    xcb_window_t result = XCB_WINDOW_NONE;
    if (reply && xcb_get_property_value_length(reply) == 4) {
        std::memcpy(&result, xcb_get_property_value(reply), 4);
    }
    std::free(reply);
    return result;
}

// The window manager is up when _NET_SUPPORTING_WM_CHECK names a window that names itself.
bool windowManagerReady(const std::string& display) {
    Probe probe(display);
    const xcb_atom_t check = probe.atom("_NET_SUPPORTING_WM_CHECK");
    const xcb_window_t named = checkWindowOf(probe.conn(), probe.root(), check);
    return named != XCB_WINDOW_NONE && checkWindowOf(probe.conn(), named, check) == named;
}

}  // namespace

bool windowManagerManages(const std::string& display) {
    Probe probe(display);
    xcb_connection_t* c = probe.conn();
    const xcb_window_t canary = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, canary, probe.root(), 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    auto listed = [&] {
        auto list = probe.clientList();
        return std::find(list.begin(), list.end(), canary) != list.end();
    };
    bool managed = false;
    for (int attempt = 0; attempt < 100 && !managed; ++attempt) {
        if (attempt % 10 == 0) {
            xcb_unmap_window(c, canary);
            xcb_map_window(c, canary);
            xcb_flush(c);
        }
        pause20ms();
        managed = listed();
    }
    xcb_destroy_window(c, canary);
    for (int attempt = 0; attempt < 100 && listed(); ++attempt) {
        pause20ms();
    }
    return managed && !listed();
}

namespace {}  // namespace

PrivateDesktop::PrivateDesktop() {
    int fds[2];
    if (pipe(fds) != 0) {
        return;
    }
    server_ = spawn(
        {"Xvfb", "-displayfd", "3", "-screen", "0", "1920x1080x24", "-nolisten", "tcp", "-noreset"},
        std::nullopt, fds[1]);
    close(fds[1]);
    auto display = readDisplayNumber(fds[0]);
    close(fds[0]);
    if (!display) {
        return;
    }
    if (startWindowManager(*display)) {
        display_ = display;
    }
}

bool PrivateDesktop::startWindowManager(const std::string& display) {
    windowManager_ = spawn({"openbox", "--config-file", "/etc/xdg/openbox/rc.xml"}, display);
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        if (windowManagerReady(display)) {
            return windowManagerManages(display);
        }
        if (waitpid(windowManager_, nullptr, WNOHANG) == windowManager_) {
            windowManager_ = -1;
            return false;
        }
        pause20ms();
    }
    return false;
}

bool PrivateDesktop::restartWindowManager(bool crash) {
    if (windowManager_ > 0) {
        if (crash) {
            kill(windowManager_, SIGKILL);
            waitpid(windowManager_, nullptr, 0);
        } else {
            stop(windowManager_);
        }
        windowManager_ = -1;
    }
    return display_ && startWindowManager(*display_);
}

PrivateDesktop::~PrivateDesktop() {
    stop(windowManager_);
    stop(server_);
}

void PrivateDesktop::killServer() const {
    if (server_ > 0) {
        kill(server_, SIGKILL);
    }
}

int PrivateDesktop::run(const std::vector<std::string>& argv) const {
    pid_t pid = spawn(argv, display_);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---- the window owner: a child process with its own connection ----

namespace {

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

void sync(xcb_connection_t* c) {
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void ownerMain(const std::string& display, FILE* in, FILE* out) {
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t netWmPid = internAtom(c, "_NET_WM_PID");
    const xcb_atom_t windowType = internAtom(c, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t dockType = internAtom(c, "_NET_WM_WINDOW_TYPE_DOCK");
    const xcb_atom_t strutPartial = internAtom(c, "_NET_WM_STRUT_PARTIAL");
    const std::uint32_t self = static_cast<std::uint32_t>(getpid());
    char line[256];
    while (std::fgets(line, sizeof line, in)) {
        char verb[32] = {};
        char wmClass[64] = {};
        int x = 0, y = 0, w = 0, h = 0;
        unsigned id = 0;
        if (std::sscanf(line, "create %63s %d %d %d %d %u", wmClass, &x, &y, &w, &h, &id) == 6 ||
            std::sscanf(line, "panel %d %d", &w, &h) == 2) {
            const bool panel = std::strncmp(line, "panel", 5) == 0;
            const xcb_window_t window = id != 0 ? id : xcb_generate_id(c);
            xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, int16_t(x), int16_t(y),
                              uint16_t(w), uint16_t(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                              screen->root_visual, 0, nullptr);
            const std::string classProperty =
                std::string("probe") + '\0' + (panel ? "Panel" : wmClass) + '\0';
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                                XCB_ATOM_STRING, 8, uint32_t(classProperty.size()),
                                classProperty.data());
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, netWmPid, XCB_ATOM_CARDINAL, 32,
                                1, &self);
            xcb_size_hints_t hints{};
            xcb_icccm_size_hints_set_position(&hints, 1, x, y);
            xcb_icccm_set_wm_normal_hints(c, window, &hints);
            if (panel) {
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, windowType, XCB_ATOM_ATOM, 32,
                                    1, &dockType);
                const std::uint32_t strut[12] = {uint32_t(w), 0, 0, 0, 0, uint32_t(h) - 1,
                                                 0,           0, 0, 0, 0, 0};
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, strutPartial,
                                    XCB_ATOM_CARDINAL, 32, 12, strut);
            }
            xcb_map_window(c, window);
            sync(c);
            std::fprintf(out, "%u\n", window);
        } else if (std::sscanf(line, "%31s %u", verb, &id) == 2 &&
                   std::strcmp(verb, "destroy") == 0) {
            xcb_destroy_window(c, id);
            sync(c);
            std::fprintf(out, "ok\n");
        } else {
            std::fprintf(out, "?\n");
        }
        std::fflush(out);
    }
    xcb_disconnect(c);
}

}  // namespace

WindowOwner::WindowOwner(const std::string& display) {
    int down[2];
    int up[2];
    if (pipe(down) != 0 || pipe(up) != 0) {
        return;
    }
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        close(down[1]);
        close(up[0]);
        ownerMain(display, fdopen(down[0], "r"), fdopen(up[1], "w"));
        _exit(0);
    }
    close(down[0]);
    close(up[1]);
    toChild_ = down[1];
    fromChild_ = up[0];
}

WindowOwner::~WindowOwner() {
    if (toChild_ >= 0) {
        close(toChild_);  // the owner sees end of input and leaves
    }
    if (fromChild_ >= 0) {
        close(fromChild_);
    }
    if (pid_ > 0) {
        waitpid(pid_, nullptr, 0);
    }
}

std::string WindowOwner::call(const std::string& line) {
    const std::string request = line + "\n";
    if (write(toChild_, request.data(), request.size()) != ssize_t(request.size())) {
        return {};
    }
    std::string answer;
    char c = 0;
    while (read(fromChild_, &c, 1) == 1 && c != '\n') {
        answer += c;
    }
    return answer;
}

xcb_window_t WindowOwner::create(const std::string& wmClass, int x, int y, int width, int height,
                                 xcb_window_t reuseId) {
    std::ostringstream line;
    line << "create " << wmClass << ' ' << x << ' ' << y << ' ' << width << ' ' << height << ' '
         << reuseId;
    return static_cast<xcb_window_t>(std::strtoul(call(line.str()).c_str(), nullptr, 10));
}

xcb_window_t WindowOwner::createLeftPanel(int width, int height) {
    return static_cast<xcb_window_t>(
        std::strtoul(call("panel " + std::to_string(width) + " " + std::to_string(height)).c_str(),
                     nullptr, 10));
}

void WindowOwner::destroy(xcb_window_t window) {
    call("destroy " + std::to_string(window));
}

// ---- the manual loop ----

namespace {
class NoTimer final : public Timer {
  public:
    void invalidate() override {}
    bool isValid() const override { return false; }
};
}  // namespace

double ManualLoop::now() {
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

void ManualLoop::dispatchAfter(double seconds, std::function<void()> work) {
    delayed_.emplace(now() + seconds, std::move(work));
}

std::shared_ptr<Timer> ManualLoop::scheduleRepeatingTimer(double, RunLoopMode,
                                                          std::function<void(Timer&)>) {
    return std::make_shared<NoTimer>();
}

void ManualLoop::runReady() {
    while (!posted_.empty()) {
        auto work = std::move(posted_.front());
        posted_.pop_front();
        work();
    }
    const double t = now();
    while (!delayed_.empty() && delayed_.begin()->first <= t) {
        auto work = std::move(delayed_.begin()->second);
        delayed_.erase(delayed_.begin());
        work();
    }
}

// ---- the probe ----

Probe::Probe(const std::string& display) {
    conn_ = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(conn_) == 0) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
    }
}

Probe::~Probe() {
    xcb_disconnect(conn_);
}

xcb_atom_t Probe::atom(const char* name) {
    return internAtom(conn_, name);
}

std::optional<FramePosition> Probe::framePosition(xcb_window_t client) {
    // The frame is the root's child that holds the client; its geometry is root-relative.
    xcb_window_t current = client;
    for (int depth = 0; depth < 16; ++depth) {
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(conn_, xcb_query_tree(conn_, current), nullptr);
        if (!tree) {
            return std::nullopt;
        }
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        if (parent == root_) {
            break;
        }
        current = parent;
    }
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, current), nullptr);
    if (!geometry) {
        return std::nullopt;
    }
    FramePosition result{geometry->x, geometry->y};
    std::free(geometry);
    return result;
}

void Probe::rootMessage(xcb_window_t window, const char* type, std::uint32_t d0, std::uint32_t d1,
                        std::uint32_t d2, std::uint32_t d3, std::uint32_t d4) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(type);
    event.data.data32[0] = d0;
    event.data.data32[1] = d1;
    event.data.data32[2] = d2;
    event.data.data32[3] = d3;
    event.data.data32[4] = d4;
    xcb_send_event(conn_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(conn_);
}

void Probe::moveFrame(xcb_window_t client, int x, int y) {
    // Gravity NorthWest (1), x and y given (bits 8 and 9), source indication 2 (bits 12-13).
    rootMessage(client, "_NET_MOVERESIZE_WINDOW", 1u | (1u << 8) | (1u << 9) | (2u << 12),
                std::uint32_t(x), std::uint32_t(y));
}

void Probe::iconify(xcb_window_t client) {
    rootMessage(client, "WM_CHANGE_STATE", XCB_ICCCM_WM_STATE_ICONIC);
}

void Probe::activate(xcb_window_t client) {
    rootMessage(client, "_NET_ACTIVE_WINDOW", 2);
}

void Probe::sendToDesktop(xcb_window_t client, std::uint32_t desktop) {
    rootMessage(client, "_NET_WM_DESKTOP", desktop, 2);
}

std::vector<xcb_window_t> Probe::clientList() {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        conn_,
        xcb_get_property(conn_, 0, root_, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0, 1 << 20),
        nullptr);
    std::vector<xcb_window_t> result;
    if (reply) {
        const auto* data = static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
        result.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return result;
}

void Probe::setClientList(const std::vector<xcb_window_t>& windows) {
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, root_, atom("_NET_CLIENT_LIST"),
                        XCB_ATOM_WINDOW, 32, std::uint32_t(windows.size()), windows.data());
    xcb_flush(conn_);
}

void Probe::setCardinals(xcb_window_t window, const char* property,
                         const std::vector<std::uint32_t>& values) {
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, atom(property), XCB_ATOM_CARDINAL, 32,
                        std::uint32_t(values.size()), values.data());
    xcb_flush(conn_);
}

std::vector<std::uint32_t> Probe::cardinals(xcb_window_t window, const char* property) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        conn_, xcb_get_property(conn_, 0, window, atom(property), XCB_ATOM_CARDINAL, 0, 4096),
        nullptr);
    std::vector<std::uint32_t> result;
    if (reply) {
        const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
        result.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return result;
}

void execArgv(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

int runOnPrivateDesktop(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const char* display = std::getenv("DISPLAY");
    const char* own = std::getenv("TALLOWMERE_PRIVATE_DISPLAY");
    if (!display || !own || std::string(display) != own) {
        std::cerr
            << "refusing to run: DISPLAY is not a private desktop from scripts/with-desktop\n";
        return 1;
    }
    if (!windowManagerManages(display)) {
        std::cerr << "the window manager does not manage windows\n";
        return 1;
    }
    return RUN_ALL_TESTS();
}

}  // namespace tallowmere::x11test
