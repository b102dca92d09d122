#include "window_owner.h"

#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb_icccm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "probe.h"

namespace tallowmere::kit {
namespace {

void ownerMain(const std::string& display, FILE* in, FILE* out) {
    Probe probe(display);
    xcb_connection_t* c = probe.conn();
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t netWmPid = probe.atom("_NET_WM_PID");
    const xcb_atom_t windowType = probe.atom("_NET_WM_WINDOW_TYPE");
    const xcb_atom_t dockType = probe.atom("_NET_WM_WINDOW_TYPE_DOCK");
    const xcb_atom_t strutPartial = probe.atom("_NET_WM_STRUT_PARTIAL");
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
            probe.sync();
            std::fprintf(out, "%u\n", window);
        } else if (std::sscanf(line, "%31s %u", verb, &id) == 2 &&
                   std::strcmp(verb, "destroy") == 0) {
            xcb_destroy_window(c, id);
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

xcb_window_t WindowOwner::createLeftPanel(int width, int height) {
    return static_cast<xcb_window_t>(
        std::strtoul(call("panel " + std::to_string(width) + " " + std::to_string(height)).c_str(),
                     nullptr, 10));
}

void WindowOwner::destroy(xcb_window_t window) {
    call("destroy " + std::to_string(window));
}

}  // namespace tallowmere::kit
