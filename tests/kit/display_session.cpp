#include "display_session.h"

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "probe.h"

namespace tallowmere::kit {
namespace {

bool windowManagerReady(const std::string& display) {
    Probe probe(display);
    const auto named = probe.cardinal(probe.root(), "_NET_SUPPORTING_WM_CHECK");
    return named && *named != 0 && probe.cardinal(*named, "_NET_SUPPORTING_WM_CHECK") == named;
}

}  // namespace

bool windowManagerManages(const std::string& display) {
    Probe probe(display);
    if (!waitUntil([&] { return windowManagerReady(display); }, 20)) {
        return false;
    }
    xcb_connection_t* c = probe.conn();
    const xcb_window_t canary = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, canary, probe.root(), 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    int attempt = 0;
    const bool managed = waitUntil(
        [&] {
            if (attempt++ % 20 == 0) {
                xcb_unmap_window(c, canary);
                xcb_map_window(c, canary);
                xcb_flush(c);
            }
            return probe.listed(canary);
        },
        5);
    probe.closeWindow(canary);
    return managed && waitUntil([&] { return !probe.listed(canary); }, 5);
}

DisplaySession::DisplaySession(std::string windowManager)
    : windowManager_(std::move(windowManager)) {
    int fds[2];
    if (pipe(fds) != 0) {
        return;
    }
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", "1920x1080x24",
                                 "-nolisten", "tcp", "-noreset"},
        std::vector<std::string>{}, fds[1]);
    close(fds[1]);
    // The number, once the server listens; end of file if it failed.
    FILE* numberPipe = fdopen(fds[0], "r");
    if (int number = -1; std::fscanf(numberPipe, "%d", &number) == 1) {
        display_ = ":" + std::to_string(number);
    }
    std::fclose(numberPipe);
    if (display_ && !windowManager_.empty() && !startWindowManager()) {
        display_.reset();
    }
}
bool DisplaySession::startWindowManager() {
    const std::vector<std::string> argv =
        windowManager_ == "xfwm4"
            ? std::vector<std::string>{"xfwm4", "--replace"}
            : std::vector<std::string>{"openbox", "--replace", "--config-file",
                                       "/etc/xdg/openbox/rc.xml"};
    wmProcess_ = std::make_unique<ChildProcess>(
        argv, std::vector<std::string>{"DISPLAY=" + *display_, "NO_AT_BRIDGE=1"});
    return windowManagerManages(*display_) && wmProcess_->running();
}

bool DisplaySession::restartWindowManager(bool crash) {
    Probe probe(display_.value_or(""));
    const auto oldCheck = probe.cardinal(probe.root(), "_NET_SUPPORTING_WM_CHECK");
    auto old = std::move(wmProcess_);
    if (crash) {
        old->signal(SIGKILL);
        old->waitExit(10);
    } else {
        windowManager_ = "openbox";
    }
    if (const bool started = startWindowManager(); !started || crash) {
        return started;
    }
    // Until the new one took over, the old one's check window still names itself.
    return waitUntil([&] {
               return probe.cardinal(probe.root(), "_NET_SUPPORTING_WM_CHECK") != oldCheck;
           }) &&
           old->waitExit(10) && windowManagerManages(*display_);
}

DisplaySession::~DisplaySession() {
    for (auto* child : {&wmProcess_, &server_}) {
        if (*child) {
            (*child)->signal(SIGTERM);
            (*child)->waitExit(5);
            child->reset();
        }
    }
}

void DisplaySession::killServer() {
    if (server_) {
        server_->signal(SIGKILL);
    }
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

}  // namespace tallowmere::kit
