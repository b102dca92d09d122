#include "probe.h"

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "child_process.h"

namespace tallowmere::kit {

Probe::Probe(const std::string& display)
    : display_(display), conn_(xcb_connect(display.c_str(), nullptr)) {
    if (xcb_connection_has_error(conn_) == 0) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
    }
}

Probe::~Probe() {
    xcb_disconnect(conn_);
}

xcb_atom_t Probe::atom(const char* name) {
    auto reply = own(xcb_intern_atom_reply(
        conn_, xcb_intern_atom(conn_, 0, std::uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

void Probe::sync() const {
    own(xcb_get_input_focus_reply(conn_, xcb_get_input_focus(conn_), nullptr));
}

std::optional<Box> Probe::geometry(xcb_window_t window) {
    auto reply = own(xcb_get_geometry_reply(conn_, xcb_get_geometry(conn_, window), nullptr));
    return reply ? std::optional(Box{reply->x, reply->y, reply->width, reply->height})
                 : std::nullopt;
}

std::optional<FramePosition> Probe::frame(xcb_window_t client) {
    for (xcb_window_t current = client;;) {
        auto tree = own(xcb_query_tree_reply(conn_, xcb_query_tree(conn_, current), nullptr));
        if (!tree) {
            return std::nullopt;
        }
        if (tree->parent == root_) {
            const auto box = geometry(current);
            return box ? std::optional(FramePosition{box->x, box->y}) : std::nullopt;
        }
        current = tree->parent;
    }
}

std::optional<std::pair<int, int>> Probe::frameSize(xcb_window_t client) {
    const auto e = cardinals(client, "_NET_FRAME_EXTENTS");  // left, right, top, bottom
    const auto box = geometry(client);
    return e.size() == 4 && box ? std::optional(std::pair{box->width + int(e[0] + e[1]),
                                                          box->height + int(e[2] + e[3])})
                                : std::nullopt;
}

std::string Probe::waitForFrames(
    const std::vector<std::pair<xcb_window_t, FramePosition>>& expected, double seconds) {
    std::string report;
    waitUntil(
        [&] {
            report.clear();
            for (const auto& [client, place] : expected) {
                if (const auto at = frame(client); at != place) {
                    report += "window " + std::to_string(client) + " expected " +
                              std::to_string(place.x) + "," + std::to_string(place.y) + " is at " +
                              (at ? std::to_string(at->x) + "," + std::to_string(at->y) : "-") +
                              "\n";
                }
            }
            return report.empty();
        },
        seconds);
    return report;
}

FramePosition Probe::clientOrigin(xcb_window_t client) {
    auto reply = own(xcb_translate_coordinates_reply(
        conn_, xcb_translate_coordinates(conn_, client, root_, 0, 0), nullptr));
    return {reply ? reply->dst_x : -1, reply ? reply->dst_y : -1};
}

void Probe::rootMessage(xcb_window_t window, const char* type, std::uint32_t d0, std::uint32_t d1,
                        std::uint32_t d2) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(type);
    event.data.data32[0] = d0;
    event.data.data32[1] = d1;
    event.data.data32[2] = d2;
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
    return cardinals(root_, "_NET_CLIENT_LIST");
}

bool Probe::listed(xcb_window_t client) {
    const auto list = clientList();
    return std::find(list.begin(), list.end(), client) != list.end();
}

bool Probe::normalState(xcb_window_t client) {
    return cardinal(client, "WM_STATE") == std::uint32_t{XCB_ICCCM_WM_STATE_NORMAL};
}

std::optional<xcb_window_t> Probe::waitForWindowOf(pid_t pid) {
    std::optional<xcb_window_t> found;
    waitUntil([&] {
        for (xcb_window_t window : clientList()) {
            if (cardinal(window, "_NET_WM_PID") == std::uint32_t(pid) && normalState(window)) {
                found = window;
                return true;
            }
        }
        return false;
    });
    return found;
}

std::optional<std::string> Probe::wmClass(xcb_window_t window, bool instance) {
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
    std::string part = instance ? both.substr(0, nul) : both.substr(nul + 1);
    part.erase(std::find(part.begin(), part.end(), '\0'), part.end());
    return part;
}

std::vector<xcb_window_t> Probe::clientsOfClass(const std::string& wanted) {
    std::vector<xcb_window_t> result;
    for (xcb_window_t window : clientList()) {
        if (wmClass(window) == wanted) {
            result.push_back(window);
        }
    }
    return result;
}

std::vector<xcb_window_t> Probe::children(xcb_window_t window) {
    auto tree = own(xcb_query_tree_reply(conn_, xcb_query_tree(conn_, window), nullptr));
    const xcb_window_t* first = tree ? xcb_query_tree_children(tree.get()) : nullptr;
    return {first, first + (tree ? xcb_query_tree_children_length(tree.get()) : 0)};
}

std::vector<Box> Probe::unmanagedWindowsOf(pid_t pid) {
    std::vector<Box> boxes;
    for (xcb_window_t child : children(root_)) {
        auto attributes = own(xcb_get_window_attributes_reply(
            conn_, xcb_get_window_attributes(conn_, child), nullptr));
        if (attributes && attributes->override_redirect &&
            attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
            cardinal(child, "_NET_WM_PID") == std::uint32_t(pid)) {
            if (auto box = geometry(child)) {
                boxes.push_back(*box);
            }
        }
    }
    return boxes;
}

void Probe::setCardinals(xcb_window_t window, const char* property,
                         const std::vector<std::uint32_t>& values, xcb_atom_t type) {
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, atom(property), type, 32,
                        std::uint32_t(values.size()), values.data());
    xcb_flush(conn_);
}

std::vector<std::uint32_t> Probe::cardinals(xcb_window_t window, const char* property) {
    auto reply = own(xcb_get_property_reply(
        conn_,
        xcb_get_property(conn_, 0, window, atom(property), XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20),
        nullptr));
    std::vector<std::uint32_t> result;
    if (reply && reply->format == 32) {
        const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        result.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
    }
    return result;
}

std::optional<std::uint32_t> Probe::cardinal(xcb_window_t window, const char* property) {
    const auto values = cardinals(window, property);
    return values.empty() ? std::nullopt : std::optional(values.front());
}

xcb_window_t Probe::createWindow(const std::string& wmClassBytes, int x, int y, int width,
                                 int height, xcb_window_t id) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
    const xcb_window_t window = id != 0 ? id : xcb_generate_id(conn_);
    xcb_create_window(conn_, XCB_COPY_FROM_PARENT, window, root_, std::int16_t(x), std::int16_t(y),
                      std::uint16_t(width), std::uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, nullptr);
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        std::uint32_t(wmClassBytes.size()), wmClassBytes.data());
    const std::uint32_t self = std::uint32_t(getpid());
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"),
                        XCB_ATOM_CARDINAL, 32, 1, &self);
    xcb_size_hints_t hints{};
    xcb_icccm_size_hints_set_position(&hints, 1, x, y);
    xcb_icccm_set_wm_normal_hints(conn_, window, &hints);
    return window;
}

xcb_window_t Probe::openWindow(const std::string& wmClassBytes, int x, int y, int width, int height,
                               std::optional<xcb_window_t> transientFor, xcb_window_t id) {
    const xcb_window_t window = createWindow(wmClassBytes, x, y, width, height, id);
    if (transientFor) {
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_TRANSIENT_FOR,
                            XCB_ATOM_WINDOW, 32, 1, &*transientFor);
        const xcb_atom_t dialog = atom("_NET_WM_WINDOW_TYPE_DIALOG");
        xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_WINDOW_TYPE"),
                            XCB_ATOM_ATOM, 32, 1, &dialog);
    }
    xcb_map_window(conn_, window);
    xcb_flush(conn_);
    return window;
}

xcb_window_t Probe::openDock(bool right, int width) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
    const int height = screen->height_in_pixels;
    const std::string wmClass("panel\0Panel\0", 12);
    const xcb_window_t dock =
        createWindow(wmClass, right ? screen->width_in_pixels - width : 0, 0, width, height, 0);
    const xcb_atom_t type = atom("_NET_WM_WINDOW_TYPE_DOCK");
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, dock, atom("_NET_WM_WINDOW_TYPE"),
                        XCB_ATOM_ATOM, 32, 1, &type);
    // left, right, top, bottom, then the start and end of each: the strut spans every row.
    std::uint32_t strut[12] = {};
    strut[right ? 1 : 0] = std::uint32_t(width);
    strut[right ? 7 : 5] = std::uint32_t(height - 1);
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, dock, atom("_NET_WM_STRUT_PARTIAL"),
                        XCB_ATOM_CARDINAL, 32, 12, strut);
    xcb_map_window(conn_, dock);
    xcb_flush(conn_);
    return dock;
}

void Probe::closeWindow(xcb_window_t window) {
    xcb_destroy_window(conn_, window);
    xcb_flush(conn_);
}

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
