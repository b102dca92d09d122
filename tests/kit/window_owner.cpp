#include "window_owner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "probe.h"

namespace tallowmere::kit {
namespace {

void ownerMain(const std::string& display, FILE* in, FILE* out) {
    Probe probe(display);
    char line[256];
    while (std::fgets(line, sizeof line, in)) {
        char wmClass[64] = {};
        int x = 0, y = 0, w = 0, h = 0;
        unsigned id = 0;
        if (std::sscanf(line, "create %63s %d %d %d %d %u", wmClass, &x, &y, &w, &h, &id) == 6) {
            const std::string classBytes = std::string("probe") + '\0' + wmClass + '\0';
            const xcb_window_t window = probe.openWindow(classBytes, x, y, w, h, std::nullopt, id);
            probe.sync();
            std::fprintf(out, "%u\n", window);
        } else if (std::sscanf(line, "destroy %u", &id) == 1) {
            probe.closeWindow(id);
            probe.sync();
            std::fprintf(out, "ok\n");
        } else {
            std::fprintf(out, "?\n");
        }
        std::fflush(out);
    }
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

void WindowOwner::destroy(xcb_window_t window) {
    call("destroy " + std::to_string(window));
}

}  // namespace tallowmere::kit
