// Reading managed windows into the mirror and keeping them current from X events. Every property
// is another client's input: it goes through the bounded decoders, and a batch of new windows is
// read with all requests sent first and the replies collected after.
#include "platform/linux/x11/window_mirror.h"

#include <unistd.h>
#include <xcb/res.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/linux/x11/property_reply.h"
#include "platform/linux/x11/xcb_ptr.h"

namespace tallowmere::x11 {
namespace {

constexpr std::uint32_t kClientEvents =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
// Requests in flight per batch: enough to hide the round trip, few enough to bound the replies
// held at once when a client list names tens of thousands of ids.
constexpr std::size_t kBatch = 2048;
// Client, wrapper, frame: deeper than this below the root is no managed window.
constexpr int kMaxDepth = 3;
// Past this many remembered absent ids, forget them all rather than grow without bound.
constexpr std::size_t kMaxAbsent = 1 << 20;
// Longer text properties are cut (in 32-bit units).
constexpr std::uint32_t kTextLength = 512;

using PropertyReply = XcbPtr<xcb_get_property_reply_t>;

xcb_get_property_cookie_t requestProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t atom,
                                          std::uint32_t length = kTextLength) {
    return xcb_get_property(c, 0, w, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, length);
}

PropertyReply collect(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    return own(xcb_get_property_reply(c, cookie, nullptr));
}

std::optional<Pid> validPid(std::optional<std::uint32_t> pid) {
    if (pid && *pid > 0 && *pid <= 0x7fffffff) {
        return static_cast<Pid>(*pid);
    }
    return std::nullopt;
}

std::optional<Pid> pidFromResources(xcb_res_query_client_ids_reply_t* reply) {
    if (!reply) {
        return std::nullopt;
    }
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply); it.rem;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(it.data) >= 1) {
            if (auto pid = validPid(*xcb_res_client_id_value_value(it.data))) {
                return pid;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

struct WindowMirror::Candidate {
    xcb_window_t client = XCB_WINDOW_NONE;
    xcb_window_t frame = XCB_WINDOW_NONE;   // the client's ancestor that is a child of the root
    xcb_window_t parent = XCB_WINDOW_NONE;  // climbs to the root
    xcb_window_t clientParent = XCB_WINDOW_NONE;  // as first read
};

WindowMirror::WindowMirror(X11Connection& x, Defer defer)
    : x_(x),
      defer_(std::move(defer)),
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
    requestRootState();
    // The windows there at start are all known before anyone asks.
    learnAll_ = true;
    syncClientList(false);
    learnAll_ = false;
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
    settleRootState();
    return window.desktop == kAllDesktops || window.desktop == currentDesktop_;
}

std::optional<xcb_window_t> WindowMirror::supportingCheck(xcb_window_t window) {
    xcb_connection_t* c = x_.conn();
    auto reply = collect(c, requestProperty(c, window, x_.ewmh()->_NET_SUPPORTING_WM_CHECK, 1));
    return decodeWindow(bytesOf(reply));
}

bool WindowMirror::windowManagerRunning() {
    auto check = supportingCheck(x_.root());
    return check && *check != XCB_WINDOW_NONE && supportingCheck(*check) == check;
}

void WindowMirror::checkWindowManager() {
    xcb_window_t check = XCB_WINDOW_NONE;
    if (windowManagerRunning()) {
        check = supportingCheck(x_.root()).value_or(XCB_WINDOW_NONE);
    }
    if (check == wmCheck_) {
        return;
    }
    const bool hadOne = wmCheck_ != XCB_WINDOW_NONE;
    wmCheck_ = check;
    wmSelectionOwner_ = check != XCB_WINDOW_NONE ? selectionOwner() : xcb_window_t{XCB_WINDOW_NONE};
    if (check != XCB_WINDOW_NONE && check != x_.root()) {
        // Its destruction is how a window manager that dies without cleaning up shows.
        const std::uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(x_.conn(), check, XCB_CW_EVENT_MASK, &events);
    }
    if (hadOne && !windows_.empty()) {
        adopting_ = true;
    }
    // The client list on the root may still be the old manager's (one killed leaves it behind):
    // adoption ends on the new manager's own list, or when the grace period runs out.
    awaitingList_ = adopting_ && check != XCB_WINDOW_NONE;
    if (observer_) {
        observer_->windowManagerChanged(check != XCB_WINDOW_NONE);
    }
}

// The check window is gone: its manager died. A successor may be up already and, as X reuses
// ids, may even have named a check window with the same id.
void WindowMirror::windowManagerLost() {
    wmCheck_ = XCB_WINDOW_NONE;
    wmSelectionOwner_ = XCB_WINDOW_NONE;
    adopting_ = !windows_.empty();
    awaitingList_ = false;
    if (observer_) {
        observer_->windowManagerChanged(false);
    }
    checkWindowManager();
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
    // Whatever the list says now decides who came back.
    awaitingList_ = false;
    syncClientList(true);
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

void WindowMirror::requestRootState() {
    xcb_connection_t* c = x_.conn();
    if (rootStateRequest_) {
        xcb_discard_reply(c, rootStateRequest_->desktop.sequence);
        xcb_discard_reply(c, rootStateRequest_->active.sequence);
    }
    rootStateRequest_ =
        RootStateRequest{requestProperty(c, x_.root(), x_.ewmh()->_NET_CURRENT_DESKTOP, 1),
                         requestProperty(c, x_.root(), x_.ewmh()->_NET_ACTIVE_WINDOW, 1)};
}

void WindowMirror::settleRootState() const {
    if (!rootStateRequest_) {
        return;
    }
    const RootStateRequest request = *rootStateRequest_;
    rootStateRequest_.reset();
    xcb_connection_t* c = x_.conn();
    auto desktop = decodeCardinal(bytesOf(collect(c, request.desktop)));
    auto active = decodeWindow(bytesOf(collect(c, request.active)));
    if (desktop) {
        currentDesktop_ = *desktop;
    }
    if (active && *active != XCB_WINDOW_NONE) {
        active_ = *active;
    } else {
        active_.reset();
    }
}

std::optional<xcb_window_t> WindowMirror::activeWindow() const {
    settleRootState();
    return active_;
}

void WindowMirror::syncClientList(bool announce) {
    xcb_connection_t* c = x_.conn();
    // The whole list: a window manager with many windows writes a long one (0x7fffffff units is
    // the protocol's way of saying "all of it").
    auto reply = collect(c, requestProperty(c, x_.root(), x_.ewmh()->_NET_CLIENT_LIST, 0x7fffffff));
    const std::vector<xcb_window_t> listed = decodeClientList(bytesOf(reply), x_.root());
    reply.reset();
    const std::unordered_set<xcb_window_t> present(listed.begin(), listed.end());
    const bool shrinking = std::any_of(windows_.begin(), windows_.end(), [&](const auto& entry) {
        return !present.count(entry.first);
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
        if (present.count(client)) {
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
    listed_ = listed;
    pending_.clear();
    for (xcb_window_t client : listed_) {
        if (!windows_.count(client) && !absent_.count(client)) {
            pending_.push_back(client);
        }
    }
    learnPending(announce);
}

// One batch now; the rest on later turns, each against the latest list.
void WindowMirror::learnPending(bool announce) {
    const std::size_t now = learnAll_ ? pending_.size() : std::min(pending_.size(), kBatch);
    const std::vector<xcb_window_t> batch(pending_.begin(),
                                          pending_.begin() + static_cast<std::ptrdiff_t>(now));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(now));
    addWindows(batch, announce);
    // The order of the windows the mirror holds; ids that name nothing are not kept.
    order_.clear();
    for (xcb_window_t client : listed_) {
        if (windows_.count(client)) {
            order_.push_back(client);
        }
    }
    if (adopting_ && !awaitingList_ && pending_.empty() && wmCheck_ != XCB_WINDOW_NONE &&
        std::all_of(windows_.begin(), windows_.end(),
                    [](const auto& entry) { return entry.second.listed; })) {
        adopting_ = false;
    }
    if (!pending_.empty() && !learning_) {
        learning_ = true;
        defer_([this, alive = std::weak_ptr<bool>(alive_), announce] {
            if (alive.lock()) {
                learning_ = false;
                learnPending(announce);
                x_.flush();
            }
        });
    }
}

void WindowMirror::addWindows(const std::vector<xcb_window_t>& clients, bool announce) {
    for (std::size_t at = 0; at < clients.size(); at += kBatch) {
        const std::vector<xcb_window_t> batch(
            clients.begin() + static_cast<std::ptrdiff_t>(at),
            clients.begin() + static_cast<std::ptrdiff_t>(std::min(at + kBatch, clients.size())));
        std::vector<Candidate> candidates = findTopLevels(batch);
        readNewWindows(candidates, announce);
    }
}

// Which of the listed ids are windows a manager could hold: they exist and reach the root within
// a few parents. Nothing is selected on them yet.
std::vector<WindowMirror::Candidate> WindowMirror::findTopLevels(
    const std::vector<xcb_window_t>& clients) {
    xcb_connection_t* c = x_.conn();
    std::vector<xcb_query_tree_cookie_t> trees;
    trees.reserve(clients.size());
    for (xcb_window_t client : clients) {
        trees.push_back(xcb_query_tree(c, client));
    }
    std::vector<Candidate> candidates;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        xcb_generic_error_t* rawError = nullptr;
        auto tree = own(xcb_query_tree_reply(c, trees[i], &rawError));
        auto error = own(rawError);
        if (!tree) {
            if (error && error->error_code == XCB_WINDOW) {
                if (absent_.size() >= kMaxAbsent) {
                    absent_.clear();
                }
                absent_.insert(clients[i]);
            }
            continue;
        }
        candidates.push_back({clients[i], clients[i], tree->parent, tree->parent});
    }
    // Up the tree one level per round, all windows at once.
    for (int depth = 1; depth <= kMaxDepth; ++depth) {
        std::vector<std::pair<Candidate*, xcb_query_tree_cookie_t>> climbing;
        for (Candidate& candidate : candidates) {
            if (candidate.parent != x_.root() && candidate.parent != XCB_WINDOW_NONE) {
                climbing.emplace_back(&candidate, xcb_query_tree(c, candidate.parent));
            }
        }
        if (climbing.empty()) {
            break;
        }
        for (auto& [candidate, cookie] : climbing) {
            auto tree = own(xcb_query_tree_reply(c, cookie, nullptr));
            candidate->frame = candidate->parent;
            candidate->parent = tree ? tree->parent : xcb_window_t{XCB_WINDOW_NONE};
        }
    }
    std::erase_if(candidates,
                  [&](const Candidate& candidate) { return candidate.parent != x_.root(); });
    return candidates;
}

void WindowMirror::readNewWindows(std::vector<Candidate>& candidates, bool announce) {
    xcb_connection_t* c = x_.conn();
    xcb_ewmh_connection_t* ewmh = x_.ewmh();
    const Atoms& atoms = x_.atoms();
    struct Requests {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t clientGeometry;
        xcb_get_geometry_cookie_t frameGeometry;
        xcb_query_tree_cookie_t tree;
        xcb_get_property_cookie_t wmClass, pid, machine, role, type, transient, state, desktop,
            extents;
        std::optional<xcb_res_query_client_ids_cookie_t> resources;
    };
    std::vector<Requests> requests;
    requests.reserve(candidates.size());
    for (const Candidate& candidate : candidates) {
        const xcb_window_t w = candidate.client;
        // Select first, read second: a change made between the two is still seen.
        xcb_change_window_attributes(c, w, XCB_CW_EVENT_MASK, &kClientEvents);
        Requests r{};
        r.attributes = xcb_get_window_attributes(c, w);
        r.clientGeometry = xcb_get_geometry(c, w);
        r.frameGeometry = xcb_get_geometry(c, candidate.frame);
        r.tree = xcb_query_tree(c, w);
        r.wmClass = requestProperty(c, w, XCB_ATOM_WM_CLASS);
        r.pid = requestProperty(c, w, ewmh->_NET_WM_PID, 1);
        r.machine = requestProperty(c, w, atoms.wmClientMachine);
        r.role = requestProperty(c, w, atoms.wmWindowRole);
        r.type = requestProperty(c, w, ewmh->_NET_WM_WINDOW_TYPE, 64);
        r.transient = requestProperty(c, w, XCB_ATOM_WM_TRANSIENT_FOR, 1);
        r.state = requestProperty(c, w, ewmh->_NET_WM_STATE, 64);
        r.desktop = requestProperty(c, w, ewmh->_NET_WM_DESKTOP, 1);
        r.extents = requestProperty(c, w, ewmh->_NET_FRAME_EXTENTS, 4);
        if (x_.hasRes()) {
            xcb_res_client_id_spec_t query{w, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
            r.resources = xcb_res_query_client_ids(c, 1, &query);
        }
        requests.push_back(r);
    }
    const int screenWidth = x_.screen()->width_in_pixels;
    const int screenHeight = x_.screen()->height_in_pixels;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        Requests& r = requests[i];
        // Every reply is collected, used or not, so none is left queued.
        auto attributes = own(xcb_get_window_attributes_reply(c, r.attributes, nullptr));
        auto geometry = own(xcb_get_geometry_reply(c, r.clientGeometry, nullptr));
        auto frameGeometry = own(xcb_get_geometry_reply(c, r.frameGeometry, nullptr));
        auto tree = own(xcb_query_tree_reply(c, r.tree, nullptr));
        auto wmClass = collect(c, r.wmClass);
        auto pid = collect(c, r.pid);
        auto machine = collect(c, r.machine);
        auto role = collect(c, r.role);
        auto type = collect(c, r.type);
        auto transient = collect(c, r.transient);
        auto state = collect(c, r.state);
        auto desktop = collect(c, r.desktop);
        auto extents = collect(c, r.extents);
        XcbPtr<xcb_res_query_client_ids_reply_t> resources;
        if (r.resources) {
            resources = own(xcb_res_query_client_ids_reply(c, *r.resources, nullptr));
        }
        if (!attributes || !geometry || !tree) {
            continue;  // gone already
        }
        // No window manager holds these: a list that names one is lying.
        if (attributes->override_redirect || attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY) {
            continue;
        }
        MirroredWindow window;
        window.client = candidates[i].client;
        window.serial = nextSerial_++;
        window.frame = candidates[i].frame;
        window.clientWidth = geometry->width;
        window.clientHeight = geometry->height;
        if (auto decoded = decodeWmClass(bytesOf(wmClass))) {
            window.wmClass = std::move(decoded->className);
        }
        window.pid = pidFromResources(resources.get());
        if (!window.pid) {
            auto host = decodeText(bytesOf(machine));
            if (!host || *host == hostName_) {
                window.pid = validPid(decodeCardinal(bytesOf(pid)));
            }
        }
        window.ownProcess = window.pid && *window.pid == ownPid_;
        window.role = decodeText(bytesOf(role));
        window.types = decodeAtoms(bytesOf(type));
        window.transient = decodeWindow(bytesOf(transient)).has_value();
        const auto states = decodeAtoms(bytesOf(state));
        window.hidden =
            std::find(states.begin(), states.end(), ewmh->_NET_WM_STATE_HIDDEN) != states.end();
        window.desktop = decodeCardinal(bytesOf(desktop)).value_or(kAllDesktops);
        window.extents = decodeFrameExtents(bytesOf(extents), screenWidth, screenHeight)
                             .value_or(FrameExtents{});
        if (tree->parent != candidates[i].clientParent) {
            findFrame(window);  // reparented between the two rounds
        } else if (frameGeometry) {
            window.frameX = frameGeometry->x;
            window.frameY = frameGeometry->y;
        }
        const MirroredWindow& stored = windows_[window.client] = std::move(window);
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
    xcb_connection_t* c = x_.conn();
    window.role =
        decodeText(bytesOf(collect(c, requestProperty(c, window.client, x_.atoms().wmWindowRole))));
}

void WindowMirror::readTypeAndTransient(MirroredWindow& window) {
    xcb_connection_t* c = x_.conn();
    auto type = requestProperty(c, window.client, x_.ewmh()->_NET_WM_WINDOW_TYPE, 64);
    auto transient = requestProperty(c, window.client, XCB_ATOM_WM_TRANSIENT_FOR, 1);
    window.types = decodeAtoms(bytesOf(collect(c, type)));
    window.transient = decodeWindow(bytesOf(collect(c, transient))).has_value();
}

void WindowMirror::readHidden(MirroredWindow& window) {
    xcb_connection_t* c = x_.conn();
    const auto states = decodeAtoms(
        bytesOf(collect(c, requestProperty(c, window.client, x_.ewmh()->_NET_WM_STATE, 64))));
    window.hidden =
        std::find(states.begin(), states.end(), x_.ewmh()->_NET_WM_STATE_HIDDEN) != states.end();
}

void WindowMirror::readDesktop(MirroredWindow& window) {
    xcb_connection_t* c = x_.conn();
    // No desktop property: the window shows wherever the user is.
    window.desktop =
        decodeCardinal(
            bytesOf(collect(c, requestProperty(c, window.client, x_.ewmh()->_NET_WM_DESKTOP, 1))))
            .value_or(kAllDesktops);
}

void WindowMirror::readExtents(MirroredWindow& window) {
    xcb_connection_t* c = x_.conn();
    auto reply = collect(c, requestProperty(c, window.client, x_.ewmh()->_NET_FRAME_EXTENTS, 4));
    window.extents = decodeFrameExtents(bytesOf(reply), x_.screen()->width_in_pixels,
                                        x_.screen()->height_in_pixels)
                         .value_or(FrameExtents{});
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
                    // Written after the new manager announced itself: its own list.
                    if (wmCheck_ != XCB_WINDOW_NONE) {
                        awaitingList_ = false;
                    }
                    syncClientList(true);
                } else if (e.atom == ewmh->_NET_CURRENT_DESKTOP ||
                           e.atom == ewmh->_NET_ACTIVE_WINDOW) {
                    requestRootState();
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
        case XCB_CREATE_NOTIFY: {
            // X reuses ids: one that named nothing may name a window now.
            const auto& e = reinterpret_cast<const xcb_create_notify_event_t&>(event);
            absent_.erase(e.window);
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
                windowManagerLost();
            }
            removeWindow(e.window, true);
            return false;
        }
        default:
            return false;
    }
}

}  // namespace tallowmere::x11
