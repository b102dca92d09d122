// The floor: the least a client must do to react to a new window of a class by moving that class's
// windows to given places, so that the benchmark can tell our overhead from the X server's and the
// window manager's.
//
//   tallowmere_floor_client CLASS TARGETS_FILE [--animate COUNT SECONDS [--confirm]]
//
// Each line of TARGETS_FILE is "k x1 y1 ... xk yk": where the class's k windows (in client-list
// order) go once the k-th has appeared. With --animate, the step to COUNT windows is a linear glide
// of SECONDS at 60 Hz instead of a jump. The plain glide sends blindly and reads no confirmation;
// with --confirm it keeps one move in flight per window, as a mover that never lets the window
// manager fall behind must: it watches the frames, collects their confirmations at each tick and
// skips a window whose last move is unconfirmed. Prints "ready" once it is watching.
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/e2e/xcb_helpers.h"

namespace tb = tallowmere::bench;

namespace {

struct Point {
    int x = 0;
    int y = 0;
};

struct Glide {
    std::vector<xcb_window_t> windows;
    std::vector<Point> from;
    std::vector<Point> to;
    std::vector<Point> sent;
    double start = 0;
    std::vector<xcb_window_t> frames;  // with --confirm: each window's frame, and
    std::vector<bool> inFlight;        // whether its last move awaits the frame's ConfigureNotify
};

// The root's children that hold the windows (the window manager's frames), climbing one level per
// round for all windows at once.
std::vector<xcb_window_t> framesOf(xcb_connection_t* c, std::vector<xcb_window_t> windows) {
    std::vector<bool> done(windows.size(), false);
    for (bool climbing = true; climbing;) {
        climbing = false;
        std::vector<xcb_query_tree_cookie_t> cookies;
        for (auto w : windows) {
            cookies.push_back(xcb_query_tree(c, w));
        }
        for (size_t i = 0; i < windows.size(); ++i) {
            tb::Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, cookies[i], nullptr));
            if (done[i] || !tree || tree->parent == tree->root || tree->parent == XCB_NONE) {
                done[i] = true;
                continue;
            }
            windows[i] = tree->parent;
            climbing = true;
        }
    }
    return windows;
}

std::map<size_t, std::vector<Point>> readTargets(const char* path) {
    std::map<size_t, std::vector<Point>> targets;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        size_t k = 0;
        if (!(fields >> k)) {
            continue;
        }
        std::vector<Point> row(k);
        for (auto& p : row) {
            fields >> p.x >> p.y;
        }
        if (fields) {
            targets[k] = row;
        }
    }
    return targets;
}

class Floor {
  public:
    Floor(xcb_connection_t* c, std::string cls) : c_(c), class_(std::move(cls)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        netClientList_ = tb::internAtom(c, "_NET_CLIENT_LIST");
        netMoveResize_ = tb::internAtom(c, "_NET_MOVERESIZE_WINDOW");
        netFrameExtents_ = tb::internAtom(c, "_NET_FRAME_EXTENTS");
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c, root_, XCB_CW_EVENT_MASK, &mask);
        for (auto w : tb::clientList(c, root_, netClientList_)) {
            seen_.insert(w);
        }
    }

    // Returns the class's windows, in list order, when a new one has just appeared.
    std::vector<xcb_window_t> newArrival() {
        const auto listed = tb::clientList(c_, root_, netClientList_);
        std::vector<xcb_get_property_cookie_t> cookies;
        std::vector<xcb_window_t> unknown;
        for (auto w : listed) {
            if (!classes_.contains(w)) {
                unknown.push_back(w);
                cookies.push_back(
                    xcb_get_property(c_, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256));
            }
        }
        for (size_t i = 0; i < unknown.size(); ++i) {
            tb::Reply<xcb_get_property_reply_t> reply(
                xcb_get_property_reply(c_, cookies[i], nullptr));
            classes_[unknown[i]] = tb::wmClassOf(reply.get());
        }
        bool arrived = false;
        std::vector<xcb_window_t> ours;
        for (auto w : listed) {
            if (classes_[w] == class_) {
                ours.push_back(w);
                arrived = arrived || !seen_.contains(w);
            }
        }
        seen_ = std::set<xcb_window_t>(listed.begin(), listed.end());
        std::erase_if(classes_, [&](const auto& entry) { return !seen_.contains(entry.first); });
        return arrived ? ours : std::vector<xcb_window_t>{};
    }

    // The frames' top-left corners: the client's root position less the frame's left and top.
    std::vector<Point> framePositions(const std::vector<xcb_window_t>& windows) {
        std::vector<xcb_get_property_cookie_t> extents;
        std::vector<xcb_translate_coordinates_cookie_t> origins;
        for (auto w : windows) {
            extents.push_back(
                xcb_get_property(c_, 0, w, netFrameExtents_, XCB_ATOM_CARDINAL, 0, 4));
            origins.push_back(xcb_translate_coordinates(c_, w, root_, 0, 0));
        }
        std::vector<Point> frames;
        for (size_t i = 0; i < windows.size(); ++i) {
            tb::Reply<xcb_get_property_reply_t> ext(
                xcb_get_property_reply(c_, extents[i], nullptr));
            tb::Reply<xcb_translate_coordinates_reply_t> origin(
                xcb_translate_coordinates_reply(c_, origins[i], nullptr));
            int left = 0;
            int top = 0;
            if (ext && ext->format == 32 && xcb_get_property_value_length(ext.get()) >= 16) {
                auto* v = static_cast<uint32_t*>(xcb_get_property_value(ext.get()));
                left = static_cast<int>(v[0]);
                top = static_cast<int>(v[2]);
            }
            frames.push_back(origin ? Point{origin->dst_x - left, origin->dst_y - top} : Point{});
        }
        return frames;
    }

    void move(xcb_window_t w, Point p) {
        tb::sendFrameMove(c_, root_, netMoveResize_, w, p.x, p.y);
    }

    xcb_connection_t* connection() const { return c_; }
    xcb_atom_t netClientList() const { return netClientList_; }
    xcb_window_t root() const { return root_; }

  private:
    xcb_connection_t* c_;
    std::string class_;
    xcb_window_t root_ = XCB_NONE;
    xcb_atom_t netClientList_ = XCB_ATOM_NONE;
    xcb_atom_t netMoveResize_ = XCB_ATOM_NONE;
    xcb_atom_t netFrameExtents_ = XCB_ATOM_NONE;
    std::set<xcb_window_t> seen_;
    std::map<xcb_window_t, std::string> classes_;
};

}  // namespace

int main(int argc, char** argv) {
    const bool animate = (argc == 6 || argc == 7) && std::strcmp(argv[3], "--animate") == 0;
    const bool confirm = argc == 7 && std::strcmp(argv[6], "--confirm") == 0;
    if (argc != 3 && !(animate && (argc == 6 || confirm))) {
        std::fprintf(stderr, "usage: %s CLASS TARGETS_FILE [--animate COUNT SECONDS [--confirm]]\n",
                     argv[0]);
        return 2;
    }
    const auto targets = readTargets(argv[2]);
    const size_t glideCount = animate ? std::stoul(argv[4]) : 0;
    const double glideSeconds = animate ? std::stod(argv[5]) : 0;

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "floor: cannot connect to the X server\n");
        return 1;
    }
    Floor floor(c, argv[1]);
    if (confirm) {
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, floor.root(), XCB_CW_EVENT_MASK, &mask);
    }
    xcb_flush(c);
    std::printf("ready\n");
    std::fflush(stdout);

    const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    Glide glide;
    bool gliding = false;
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {timer, POLLIN, 0}};
    while (!xcb_connection_has_error(c)) {
        // While a confirming glide runs, the connection waits for the tick, which drains it.
        if (poll(gliding && confirm ? fds + 1 : fds, gliding && confirm ? 1 : 2, -1) < 0) {
            continue;
        }
        bool listChanged = false;
        while (auto* event = xcb_poll_for_event(c)) {
            const auto type = event->response_type & 0x7f;
            if (type == XCB_PROPERTY_NOTIFY) {
                auto* property = reinterpret_cast<xcb_property_notify_event_t*>(event);
                listChanged = listChanged || property->atom == floor.netClientList();
            } else if (type == XCB_CONFIGURE_NOTIFY && gliding) {
                auto* configure = reinterpret_cast<xcb_configure_notify_event_t*>(event);
                for (size_t i = 0; i < glide.frames.size(); ++i) {
                    if (glide.frames[i] == configure->window) {
                        glide.inFlight[i] = false;
                    }
                }
            }
            std::free(event);
        }
        if (listChanged) {
            const auto windows = floor.newArrival();
            const auto found = targets.find(windows.size());
            if (!windows.empty() && found != targets.end()) {
                const auto current = floor.framePositions(windows);
                if (windows.size() == glideCount) {
                    glide = {windows, current, found->second, current, tb::nowSeconds(), {}, {}};
                    if (confirm) {
                        glide.frames = framesOf(c, windows);
                        glide.inFlight.assign(windows.size(), false);
                    }
                    gliding = true;
                    const itimerspec every{{0, 16'666'667}, {0, 16'666'667}};
                    timerfd_settime(timer, 0, &every, nullptr);
                } else {
                    for (size_t i = 0; i < windows.size(); ++i) {
                        const auto& to = found->second[i];
                        if (current[i].x != to.x || current[i].y != to.y) {
                            floor.move(windows[i], to);
                        }
                    }
                }
                xcb_flush(c);
            }
        }
        uint64_t expirations = 0;
        if ((fds[1].revents & POLLIN) && read(timer, &expirations, sizeof expirations) > 0 &&
            gliding) {
            const double p = std::min(1.0, (tb::nowSeconds() - glide.start) / glideSeconds);
            for (size_t i = 0; i < glide.windows.size(); ++i) {
                const Point at{static_cast<int>(std::lround(glide.from[i].x +
                                                            (glide.to[i].x - glide.from[i].x) * p)),
                               static_cast<int>(std::lround(
                                   glide.from[i].y + (glide.to[i].y - glide.from[i].y) * p))};
                const bool waiting = confirm && glide.inFlight[i] && p < 1.0;
                if (!waiting && (at.x != glide.sent[i].x || at.y != glide.sent[i].y)) {
                    floor.move(glide.windows[i], at);
                    glide.sent[i] = at;
                    if (confirm) {
                        glide.inFlight[i] = true;
                    }
                }
            }
            xcb_flush(c);
            if (p >= 1.0) {
                gliding = false;
                const itimerspec off{};
                timerfd_settime(timer, 0, &off, nullptr);
            }
        }
    }
    xcb_disconnect(c);
    return 0;
}
