#include "window_owner.h"

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "probe.h"

namespace tallowmere::kit {

struct WindowOwner::Request {
    char wmClass[64];  // empty to destroy `window`
    int x, y, width, height;
    xcb_window_t window;  // to destroy, or the id to create under
};

WindowOwner::WindowOwner(const std::string& display) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        return;
    }
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        close(ends[0]);
        Probe probe(display);
        Request r;
        while (read(ends[1], &r, sizeof r) == sizeof r) {
            if (r.wmClass[0] != '\0') {
                r.window = probe.openWindow(std::string("probe") + '\0' + r.wmClass + '\0', r.x,
                                            r.y, r.width, r.height, std::nullopt, r.window);
            } else {
                probe.closeWindow(r.window);
            }
            probe.sync();
            if (write(ends[1], &r.window, sizeof r.window) != sizeof r.window) {
                break;
            }
        }
        _exit(0);
    }
    close(ends[1]);
    socket_ = ends[0];
}

WindowOwner::~WindowOwner() {
    if (socket_ >= 0) {
        close(socket_);  // the owner sees end of input and leaves
    }
    if (pid_ > 0) {
        waitpid(pid_, nullptr, 0);
    }
}

xcb_window_t WindowOwner::call(const Request& request) {
    xcb_window_t answer = 0;
    return write(socket_, &request, sizeof request) == sizeof request &&
                   read(socket_, &answer, sizeof answer) == sizeof answer
               ? answer
               : 0;
}

xcb_window_t WindowOwner::create(const std::string& wmClass, int x, int y, int width, int height,
                                 xcb_window_t reuseId) {
    Request request{{}, x, y, width, height, reuseId};
    std::snprintf(request.wmClass, sizeof request.wmClass, "%s", wmClass.c_str());
    return call(request);
}

void WindowOwner::destroy(xcb_window_t window) {
    call({{}, 0, 0, 0, 0, window});
}

}  // namespace tallowmere::kit
