#include "xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace tallowmere::testing {

namespace {

// Waits for the display number Xvfb writes once it is ready to accept clients.
std::optional<std::string> readDisplayNumber(int fd) {
    constexpr int kTimeoutMs = 20000;
    std::string number;
    while (true) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, kTimeoutMs) <= 0) {
            return std::nullopt;
        }
        char c = 0;
        if (read(fd, &c, 1) != 1) {
            return std::nullopt;
        }
        if (c == '\n') {
            break;
        }
        number += c;
    }
    if (number.empty()) {
        return std::nullopt;
    }
    return ":" + number;
}

bool accepts(const std::string& display) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return ok;
}

}  // namespace

XvfbServer::XvfbServer() {
    int fds[2];
    if (pipe(fds) != 0) {
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fds[1], 3);
        if (fds[0] != 3) {
            close(fds[0]);
        }
        if (fds[1] != 3) {
            close(fds[1]);
        }
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid_ > 0) {
        display_ = readDisplayNumber(fds[0]);
    }
    close(fds[0]);
    // The number is written when the server listens; a bounded check that it really answers.
    for (int attempt = 0; display_ && attempt < 100; ++attempt) {
        if (accepts(*display_)) {
            return;
        }
        pollfd none{-1, 0, 0};
        poll(&none, 0, 20);
    }
    display_.reset();
}

XvfbServer::~XvfbServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

}  // namespace tallowmere::testing
