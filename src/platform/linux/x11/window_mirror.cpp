// Reading managed windows into the mirror and keeping them current from X events.
#include "platform/linux/x11/window_mirror.h"

#include <unistd.h>
#include <xcb/res.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/linux/x11/xcb_ptr.h"

namespace tallowmere::x11 {
namespace {

constexpr std::uint32_t kClientEvents =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

std::optional<std::string> stringProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t atom) {
    auto reply = own(xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr));
    if (!reply || reply->format != 8 || reply->type == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    const char* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    int length = xcb_get_property_value_length(reply.get());
    std::string value(data, static_cast<std::size_t>(length));
    // Lists of strings are NUL-separated; the first one is the value.
    if (auto nul = value.find('\0'); nul != std::string::npos) {
        value.resize(nul);
    }
    return value;
}

std::optional<Pid> pidFromResources(X11Connection& x, xcb_window_t w) {
    if (!x.hasRes()) {
        return std::nullopt;
    }
    xcb_res_client_id_spec_t query{w, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    auto reply = own(xcb_res_query_client_ids_reply(
        x.conn(), xcb_res_query_client_ids(x.conn(), 1, &query), nullptr));
    if (!reply) {
        return std::nullopt;
    }
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(it.data) >= 1) {
            std::uint32_t pid = *xcb_res_client_id_value_value(it.data);
            if (pid > 0 && pid <= 0x7fffffff) {
                return static_cast<Pid>(pid);
            }
        }
    }
    return std::nullopt;
}

}  // namespace

WindowMirror::WindowMirror(X11Connection& x)
    : x_(x),
      wmSelection_(x.internAtom(("WM_S" + std::to_string(x.screenNumber())).c_str())),
      ownPid_(getpid()) {
    std::array<char, 256> host{};
    if (gethostname(host.data(), host.size() - 1) == 0) {
        hostName_ = host.data();
    }
}

void WindowMirror::start(Observer* observer) {
    observer_ = observer;
    const std::uint32_t rootEvents =
        XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x_.conn(), x_.root(), XCB_CW_EVENT_MASK, &rootEvents);
    checkWindowManager();
    readRootState();
    syncClientList(false);
    x_.flush();
}

const MirroredWindow* WindowMirror::find(xcb_window_t client) const {
    auto it = windows_.find(client);
    return it == windows_.end() ? nullptr : &it->second;
}

MirroredWindow* WindowMirror::mutableFind(xcb_window_t client) {
    auto it = windows_.find(client);
    return it == windows_.end() ? nullptr : &it->second;
}

const MirroredWindow* WindowMirror::findSerial(std::uint64_t serial) const {
    for (const auto& [client, window] : windows_) {
        if (window.serial == serial) {
            return &window;
        }
    }
    return nullptr;
}

std::vector<const MirroredWindow*> WindowMirror::windowsInOrder() const {
    std::vector<const MirroredWindow*> result;
    result.reserve(order_.size());
    for (xcb_window_t client : order_) {
        if (const MirroredWindow* window = find(client); window && window->listed) {
            result.push_back(window);
        }
    }
    return result;
}

bool WindowMirror::onCurrentDesktop(const MirroredWindow& window) const {
    return window.desktop == kAllDesktops || window.desktop == currentDesktop_;
}

bool WindowMirror::windowManagerRunning() {
    xcb_connection_t* c = x_.conn();
    xcb_window_t check = XCB_WINDOW_NONE;
    if (!xcb_ewmh_get_supporting_wm_check_reply(
            x_.ewmh(), xcb_ewmh_get_supporting_wm_check(x_.ewmh(), x_.root()), &check, nullptr)) {
        return false;
    }
    xcb_window_t self = XCB_WINDOW_NONE;
    if (!xcb_ewmh_get_supporting_wm_check_reply(
            x_.ewmh(), xcb_ewmh_get_supporting_wm_check(x_.ewmh(), check), &self, nullptr)) {
        return false;
    }
    (void)c;
    return self == check;
}

void WindowMirror::checkWindowManager() {
    xcb_window_t check = XCB_WINDOW_NONE;
    if (windowManagerRunning()) {
        xcb_ewmh_get_supporting_wm_check_reply(
            x_.ewmh(), xcb_ewmh_get_supporting_wm_check(x_.ewmh(), x_.root()), &check, nullptr);
    }
    if (check == wmCheck_) {
        return;
    }
    const bool hadOne = wmCheck_ != XCB_WINDOW_NONE;
    wmCheck_ = check;
    wmSelectionOwner_ = check != XCB_WINDOW_NONE ? selectionOwner() : xcb_window_t{XCB_WINDOW_NONE};
    if (check != XCB_WINDOW_NONE) {
        // Its destruction is how a window manager that dies without cleaning up shows.
        const std::uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(x_.conn(), check, XCB_CW_EVENT_MASK, &events);
    }
    if (hadOne && !windows_.empty()) {
        adopting_ = true;
    }
    if (observer_) {
        observer_->windowManagerChanged(check != XCB_WINDOW_NONE);
    }
    if (check != XCB_WINDOW_NONE && adopting_) {
        syncClientList(false);
    }
}

xcb_window_t WindowMirror::selectionOwner() {
    auto reply = own(xcb_get_selection_owner_reply(
        x_.conn(), xcb_get_selection_owner(x_.conn(), wmSelection_), nullptr));
    return reply ? reply->owner : xcb_window_t{XCB_WINDOW_NONE};
}

void WindowMirror::endAdoption() {
    if (!adopting_) {
        return;
    }
    adopting_ = false;
    std::vector<xcb_window_t> lost;
    for (const auto& [client, window] : windows_) {
        if (!window.listed) {
            lost.push_back(client);
        }
    }
    for (xcb_window_t client : lost) {
        removeWindow(client, true);
    }
}

void WindowMirror::readRootState() {
    std::uint32_t desktop = 0;
    if (xcb_ewmh_get_current_desktop_reply(
            x_.ewmh(), xcb_ewmh_get_current_desktop(x_.ewmh(), x_.screenNumber()), &desktop,
            nullptr)) {
        currentDesktop_ = desktop;
    }
    xcb_window_t active = XCB_WINDOW_NONE;
    if (xcb_ewmh_get_active_window_reply(x_.ewmh(),
                                         xcb_ewmh_get_active_window(x_.ewmh(), x_.screenNumber()),
                                         &active, nullptr) &&
        active != XCB_WINDOW_NONE) {
        active_ = active;
    } else {
        active_.reset();
    }
}

void WindowMirror::syncClientList(bool announce) {
    xcb_ewmh_get_windows_reply_t list{};
    std::vector<xcb_window_t> listed;
    if (xcb_ewmh_get_client_list_reply(
            x_.ewmh(), xcb_ewmh_get_client_list(x_.ewmh(), x_.screenNumber()), &list, nullptr)) {
        listed.assign(list.windows, list.windows + list.windows_len);
        xcb_ewmh_get_windows_reply_wipe(&list);
    }
    const bool shrinking = std::any_of(windows_.begin(), windows_.end(), [&](const auto& entry) {
        return std::find(listed.begin(), listed.end(), entry.first) == listed.end();
    });
    // A window manager being replaced hands WM_Sn over first and then lets go of its windows:
    // those windows are not closing, they are about to be adopted again.
    if (shrinking && !adopting_ && wmCheck_ != XCB_WINDOW_NONE &&
        selectionOwner() != wmSelectionOwner_) {
        adopting_ = true;
        if (observer_) {
            observer_->windowManagerChanged(false);
        }
    }
    std::vector<xcb_window_t> gone;
    for (auto& [client, window] : windows_) {
        const bool present = std::find(listed.begin(), listed.end(), client) != listed.end();
        if (present) {
            window.listed = true;
        } else if (adopting_) {
            window.listed = false;
        } else {
            gone.push_back(client);
        }
    }
    for (xcb_window_t client : gone) {
        removeWindow(client, announce);
    }
    std::vector<xcb_window_t> fresh;
    for (xcb_window_t client : listed) {
        if (!windows_.count(client)) {
            fresh.push_back(client);
        }
    }
    order_ = listed;
    addWindows(fresh, announce);
    if (adopting_ && wmCheck_ != XCB_WINDOW_NONE &&
        std::all_of(windows_.begin(), windows_.end(),
                    [](const auto& entry) { return entry.second.listed; })) {
        adopting_ = false;
    }
}

void WindowMirror::addWindows(const std::vector<xcb_window_t>& clients, bool announce) {
    xcb_connection_t* c = x_.conn();
    for (xcb_window_t client : clients) {
        // Select first, read second: a change made between the two is still seen.
        xcb_change_window_attributes(c, client, XCB_CW_EVENT_MASK, &kClientEvents);
        auto geometryCookie = xcb_get_geometry(c, client);
        auto classCookie = xcb_icccm_get_wm_class(c, client);
        auto geometry = own(xcb_get_geometry_reply(c, geometryCookie, nullptr));
        xcb_icccm_get_wm_class_reply_t classReply{};
        const bool hasClass = xcb_icccm_get_wm_class_reply(c, classCookie, &classReply, nullptr);
        if (!geometry) {
            if (hasClass) {
                xcb_icccm_get_wm_class_reply_wipe(&classReply);
            }
            continue;  // gone already
        }
        MirroredWindow window;
        window.client = client;
        window.serial = nextSerial_++;
        window.clientWidth = geometry->width;
        window.clientHeight = geometry->height;
        if (hasClass) {
            window.wmClass = classReply.class_name ? classReply.class_name : "";
            xcb_icccm_get_wm_class_reply_wipe(&classReply);
        }
        window.pid = pidFromResources(x_, client);
        if (!window.pid) {
            std::uint32_t pid = 0;
            auto machine = stringProperty(c, client, x_.atoms().wmClientMachine);
            if (xcb_ewmh_get_wm_pid_reply(x_.ewmh(), xcb_ewmh_get_wm_pid(x_.ewmh(), client), &pid,
                                          nullptr) &&
                pid > 0 && pid <= 0x7fffffff && (!machine || *machine == hostName_)) {
                window.pid = static_cast<Pid>(pid);
            }
        }
        window.ownProcess = window.pid && *window.pid == ownPid_;
        readRole(window);
        readTypeAndTransient(window);
        readHidden(window);
        readDesktop(window);
        readExtents(window);
        findFrame(window);
        const MirroredWindow& stored = windows_[client] = std::move(window);
        if (announce && observer_) {
            observer_->windowListed(stored);
        }
    }
}

void WindowMirror::removeWindow(xcb_window_t client, bool announce) {
    auto it = windows_.find(client);
    if (it == windows_.end()) {
        return;
    }
    if (announce && observer_) {
        observer_->windowUnlisted(it->second);
    }
    windows_.erase(client);
    order_.erase(std::remove(order_.begin(), order_.end(), client), order_.end());
}

void WindowMirror::readRole(MirroredWindow& window) {
    window.role = stringProperty(x_.conn(), window.client, x_.atoms().wmWindowRole);
}

void WindowMirror::readTypeAndTransient(MirroredWindow& window) {
    xcb_ewmh_get_atoms_reply_t types{};
    window.types.clear();
    if (xcb_ewmh_get_wm_window_type_reply(
            x_.ewmh(), xcb_ewmh_get_wm_window_type(x_.ewmh(), window.client), &types, nullptr)) {
        window.types.assign(types.atoms, types.atoms + types.atoms_len);
        xcb_ewmh_get_atoms_reply_wipe(&types);
    }
    xcb_window_t owner = XCB_WINDOW_NONE;
    window.transient = xcb_icccm_get_wm_transient_for_reply(
                           x_.conn(), xcb_icccm_get_wm_transient_for(x_.conn(), window.client),
                           &owner, nullptr) != 0;
}

void WindowMirror::readHidden(MirroredWindow& window) {
    xcb_ewmh_get_atoms_reply_t state{};
    window.hidden = false;
    if (xcb_ewmh_get_wm_state_reply(x_.ewmh(), xcb_ewmh_get_wm_state(x_.ewmh(), window.client),
                                    &state, nullptr)) {
        const xcb_atom_t hidden = x_.ewmh()->_NET_WM_STATE_HIDDEN;
        window.hidden = std::find(state.atoms, state.atoms + state.atoms_len, hidden) !=
                        state.atoms + state.atoms_len;
        xcb_ewmh_get_atoms_reply_wipe(&state);
    }
}

void WindowMirror::readDesktop(MirroredWindow& window) {
    std::uint32_t desktop = 0;
    // No desktop property: the window shows wherever the user is.
    window.desktop =
        xcb_ewmh_get_wm_desktop_reply(x_.ewmh(), xcb_ewmh_get_wm_desktop(x_.ewmh(), window.client),
                                      &desktop, nullptr)
            ? desktop
            : kAllDesktops;
}

void WindowMirror::readExtents(MirroredWindow& window) {
    xcb_ewmh_get_extents_reply_t extents{};
    if (xcb_ewmh_get_frame_extents_reply(
            x_.ewmh(), xcb_ewmh_get_frame_extents(x_.ewmh(), window.client), &extents, nullptr)) {
        window.extents = {int(extents.left), int(extents.right), int(extents.top),
                          int(extents.bottom)};
    } else {
        window.extents = {};
    }
}

void WindowMirror::findFrame(MirroredWindow& window) {
    xcb_connection_t* c = x_.conn();
    xcb_window_t current = window.client;
    for (int depth = 0; depth < 16; ++depth) {
        auto tree = own(xcb_query_tree_reply(c, xcb_query_tree(c, current), nullptr));
        if (!tree) {
            break;
        }
        if (tree->parent == x_.root() || tree->parent == XCB_WINDOW_NONE) {
            break;
        }
        current = tree->parent;
    }
    window.frame = current;
    if (auto geometry = own(xcb_get_geometry_reply(c, xcb_get_geometry(c, current), nullptr))) {
        window.frameX = geometry->x;
        window.frameY = geometry->y;
        if (current == window.client) {
            window.clientWidth = geometry->width;
            window.clientHeight = geometry->height;
        }
    }
}

bool WindowMirror::handleEvent(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7f) {
        case XCB_PROPERTY_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            xcb_ewmh_connection_t* ewmh = x_.ewmh();
            if (e.window == x_.root()) {
                if (e.atom == ewmh->_NET_CLIENT_LIST) {
                    syncClientList(true);
                } else if (e.atom == ewmh->_NET_CURRENT_DESKTOP ||
                           e.atom == ewmh->_NET_ACTIVE_WINDOW) {
                    readRootState();
                } else if (e.atom == ewmh->_NET_SUPPORTING_WM_CHECK) {
                    checkWindowManager();
                }
                return false;
            }
            MirroredWindow* window = mutableFind(e.window);
            if (!window) {
                return false;
            }
            if (e.atom == ewmh->_NET_WM_STATE) {
                const bool was = window->hidden;
                readHidden(*window);
                if (was != window->hidden && !adopting_ && observer_) {
                    observer_->hiddenChanged(*window);
                }
            } else if (e.atom == ewmh->_NET_WM_DESKTOP) {
                readDesktop(*window);
            } else if (e.atom == ewmh->_NET_FRAME_EXTENTS) {
                readExtents(*window);
            } else if (e.atom == x_.atoms().wmWindowRole) {
                readRole(*window);
            } else if (e.atom == ewmh->_NET_WM_WINDOW_TYPE || e.atom == XCB_ATOM_WM_TRANSIENT_FOR) {
                readTypeAndTransient(*window);
            }
            return true;
        }
        case XCB_CONFIGURE_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
            if (e.event == x_.root()) {
                for (auto& [client, window] : windows_) {
                    if (window.frame == e.window) {
                        window.frameX = e.x;
                        window.frameY = e.y;
                        if (window.frame == client) {
                            window.clientWidth = e.width;
                            window.clientHeight = e.height;
                        }
                        if (observer_) {
                            observer_->frameMoved(window);
                        }
                    }
                }
            } else if (MirroredWindow* window = mutableFind(e.window);
                       window && e.event == e.window && !(event.response_type & 0x80)) {
                window->clientWidth = e.width;
                window->clientHeight = e.height;
            }
            return false;
        }
        case XCB_REPARENT_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_reparent_notify_event_t&>(event);
            if (MirroredWindow* window = mutableFind(e.window)) {
                findFrame(*window);
            }
            return false;
        }
        case XCB_DESTROY_NOTIFY: {
            const auto& e = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
            if (e.window == wmCheck_) {
                checkWindowManager();
            }
            removeWindow(e.window, true);
            return false;
        }
        default:
            return false;
    }
}

}  // namespace tallowmere::x11
