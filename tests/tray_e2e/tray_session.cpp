// Child processes with captured standard error, and the test's own X client.
#include "tray_session.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

extern char** environ;

namespace tallowmere::e2e {
namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T>
Reply<T> own(T* reply) {
    return Reply<T>(reply, &std::free);
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

// The lock variants a grab must cover; Mod2 is NumLock in the X server's default keymap.
constexpr std::uint16_t kLockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                           XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

}  // namespace

Process::Process(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& env) {
    std::vector<std::string> args = argv;
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const auto eq = entry.find('=');
        merged[entry.substr(0, eq)] = eq == std::string::npos ? "" : entry.substr(eq + 1);
    }
    for (const auto& [key, value] : env) {
        merged[key] = value;
    }
    std::vector<std::string> envStrings;
    for (const auto& [key, value] : merged) {
        envStrings.push_back(key + "=" + value);
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    auto argp = pointers(args);
    auto envp = pointers(envStrings);
    if (posix_spawnp(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    stderrFd_ = pipeFds[0];
    reader_ = std::thread([this] {
        std::string pending;
        char buffer[4096];
        ssize_t n;
        while ((n = read(stderrFd_, buffer, sizeof buffer)) > 0) {
            pending.append(buffer, std::size_t(n));
            std::size_t end;
            std::lock_guard lock(mutex_);
            while ((end = pending.find('\n')) != std::string::npos) {
                lines_.push_back(pending.substr(0, end));
                pending.erase(0, end + 1);
            }
            changed_.notify_all();
        }
        std::lock_guard lock(mutex_);
        eof_ = true;
        changed_.notify_all();
    });
}

Process::~Process() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (reader_.joinable()) {
        reader_.join();
    }
    if (stderrFd_ >= 0) {
        close(stderrFd_);
    }
}

std::optional<std::string> Process::waitForLine(const std::string& text, std::size_t skip,
                                                std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    std::optional<std::string> found;
    changed_.wait_for(lock, timeout, [&] {
        std::size_t seen = 0;
        for (const auto& line : lines_) {
            if (line.find(text) != std::string::npos && seen++ == skip) {
                found = line;
                return true;
            }
        }
        return eof_;
    });
    return found;
}

std::vector<std::string> Process::linesWith(const std::string& text) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    std::copy_if(lines_.begin(), lines_.end(), std::back_inserter(result),
                 [&](const std::string& line) { return line.find(text) != std::string::npos; });
    return result;
}

int Process::waitForExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) {
        return -1;
    }
    int status = 0;
    const bool exited = eventually(
        [&] {
            if (!reaped_ && waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped_ = true;
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            return reaped_;
        },
        timeout);
    return exited ? status_ : -1;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

int run(const std::vector<std::string>& argv) {
    std::vector<std::string> args = argv;
    auto argp = pointers(args);
    pid_t pid;
    if (posix_spawnp(&pid, argp[0], nullptr, nullptr, argp.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Desktop::Desktop() {
    int screenNumber = 0;
    conn_ = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(conn_)) {
        xcb_disconnect(conn_);
        conn_ = nullptr;
        return;
    }
    auto it = xcb_setup_roots_iterator(xcb_get_setup(conn_));
    for (int i = 0; i < screenNumber; ++i) {
        xcb_screen_next(&it);
    }
    root_ = it.data->root;
}

Desktop::~Desktop() {
    if (conn_) {
        xcb_disconnect(conn_);
    }
}

std::optional<std::string> Desktop::wmClass(xcb_window_t window, bool instance) {
    auto reply = own(xcb_get_property_reply(
        conn_, xcb_get_property(conn_, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256),
        nullptr));
    if (!reply || reply->format != 8) {
        return std::nullopt;
    }
    const char* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const std::string both(data, std::size_t(xcb_get_property_value_length(reply.get())));
    const auto nul = both.find('\0');
    if (nul == std::string::npos) {
        return std::nullopt;
    }
    if (instance) {
        return both.substr(0, nul);
    }
    std::string cls = both.substr(nul + 1);
    cls.erase(std::find(cls.begin(), cls.end(), '\0'), cls.end());
    return cls;
}

std::vector<xcb_window_t> Desktop::children(xcb_window_t window) {
    auto reply = own(xcb_query_tree_reply(conn_, xcb_query_tree(conn_, window), nullptr));
    if (!reply) {
        return {};
    }
    const xcb_window_t* first = xcb_query_tree_children(reply.get());
    return {first, first + xcb_query_tree_children_length(reply.get())};
}

std::vector<xcb_window_t> Desktop::clientsOfClass(const std::string& wanted) {
    auto atom = own(
        xcb_intern_atom_reply(conn_, xcb_intern_atom(conn_, 0, 16, "_NET_CLIENT_LIST"), nullptr));
    if (!atom) {
        return {};
    }
    auto list = own(xcb_get_property_reply(
        conn_, xcb_get_property(conn_, 0, root_, atom->atom, XCB_ATOM_WINDOW, 0, 4096), nullptr));
    std::vector<xcb_window_t> result;
    if (!list || list->format != 32) {
        return result;
    }
    const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
    const int count = xcb_get_property_value_length(list.get()) / 4;
    for (int i = 0; i < count; ++i) {
        if (wmClass(windows[i], false) == wanted) {
            result.push_back(windows[i]);
        }
    }
    return result;
}

std::optional<xcb_window_t> Desktop::embeddedIn(const std::string& hostClass,
                                                const std::string& instance) {
    for (xcb_window_t host : clientsOfClass(hostClass)) {
        std::vector<xcb_window_t> pending = children(host);
        while (!pending.empty()) {
            const xcb_window_t window = pending.back();
            pending.pop_back();
            if (wmClass(window, true) == instance) {
                return window;
            }
            for (xcb_window_t child : children(window)) {
                pending.push_back(child);
            }
        }
    }
    return std::nullopt;
}

bool Desktop::click(xcb_window_t window) {
    auto geometry = own(xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, window), nullptr));
    auto origin = own(xcb_translate_coordinates_reply(
        conn_, xcb_translate_coordinates(conn_, window, root_, 0, 0), nullptr));
    if (!geometry || !origin) {
        return false;
    }
    const int x = origin->dst_x + geometry->width / 2;
    const int y = origin->dst_y + geometry->height / 2;
    return run({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click",
                "1"}) == 0;
}

bool Desktop::keyboardHeldByAnother() {
    auto reply =
        own(xcb_grab_keyboard_reply(conn_,
                                    xcb_grab_keyboard(conn_, 0, root_, XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    nullptr));
    if (reply && reply->status == XCB_GRAB_STATUS_SUCCESS) {
        xcb_ungrab_keyboard(conn_, XCB_CURRENT_TIME);
        xcb_flush(conn_);
        return false;
    }
    return reply && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
}

bool Desktop::grabControlAlt(char letter) {
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(conn_);
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(
        xcb_key_symbols_get_keycode(symbols, xcb_keysym_t(letter)), &std::free);
    xcb_key_symbols_free(symbols);
    if (!codes || codes.get()[0] == XCB_NO_SYMBOL) {
        return false;
    }
    bool granted = true;
    for (std::uint16_t lock : kLockVariants) {
        auto error = own(xcb_request_check(
            conn_,
            xcb_grab_key_checked(conn_, 1, root_, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | lock,
                                 codes.get()[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        granted = granted && !error;
    }
    if (!granted) {
        ungrabControlAlt(letter);
    }
    return granted;
}

void Desktop::ungrabControlAlt(char letter) {
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(conn_);
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(
        xcb_key_symbols_get_keycode(symbols, xcb_keysym_t(letter)), &std::free);
    xcb_key_symbols_free(symbols);
    if (!codes) {
        return;
    }
    for (std::uint16_t lock : kLockVariants) {
        xcb_ungrab_key(conn_, codes.get()[0], root_, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | lock);
    }
    auto sync = own(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
}

int Desktop::keyPressesReceived() {
    // A round trip first, so that every event sent before this call has arrived.
    auto sync = own(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
    while (auto event = own(xcb_poll_for_event(conn_))) {
        if ((event->response_type & 0x7f) == XCB_KEY_PRESS) {
            ++keyPresses_;
        }
    }
    return keyPresses_;
}

}  // namespace tallowmere::e2e
