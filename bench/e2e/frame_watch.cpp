#include "bench/e2e/frame_watch.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "bench/e2e/xcb_helpers.h"

namespace tallowmere::bench {

void LineReader::drain() {
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
        partial_.append(buffer, static_cast<size_t>(n));
        size_t end = 0;
        while ((end = partial_.find('\n')) != std::string::npos) {
            lines_.push_back(partial_.substr(0, end));
            partial_.erase(0, end + 1);
        }
    }
    closed_ = closed_ || n == 0;
}

bool LineReader::saw(const std::string& part) const {
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const std::string& line) { return line.find(part) != line.npos; });
}

FrameWatch::FrameWatch() : c_(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(c_)) {
        return;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    netClientList_ = internAtom(c_, "_NET_CLIENT_LIST");
    // SubstructureNotify on the root reports every frame (the root's children) being created,
    // moved and destroyed; PropertyChange reports the client list.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), nullptr));
    if (tree) {
        const auto* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            Reply<xcb_get_geometry_reply_t> geometry(
                xcb_get_geometry_reply(c_, xcb_get_geometry(c_, children[i]), nullptr));
            if (geometry) {
                positions_[children[i]] = {geometry->x, geometry->y};
            }
        }
    }
}

FrameWatch::~FrameWatch() {
    xcb_disconnect(c_);
}

bool FrameWatch::ok() const {
    return xcb_connection_has_error(c_) == 0;
}

void FrameWatch::removeReader(LineReader* reader) {
    std::erase(readers_, reader);
}

void FrameWatch::handle(xcb_generic_event_t* event, double time) {
    switch (event->response_type & 0x7f) {
        case XCB_PROPERTY_NOTIFY: {
            auto* e = reinterpret_cast<xcb_property_notify_event_t*>(event);
            if (e->window == root_ && e->atom == netClientList_) {
                listChanges_.push_back({time, log_.size()});
            }
            break;
        }
        case XCB_CREATE_NOTIFY: {
            auto* e = reinterpret_cast<xcb_create_notify_event_t*>(event);
            if (e->parent == root_) {
                positions_[e->window] = {e->x, e->y};
                log_.push_back({e->window, {e->x, e->y}, time});
            }
            break;
        }
        case XCB_CONFIGURE_NOTIFY: {
            auto* e = reinterpret_cast<xcb_configure_notify_event_t*>(event);
            if (e->event == root_) {
                positions_[e->window] = {e->x, e->y};
                log_.push_back({e->window, {e->x, e->y}, time});
            }
            break;
        }
        case XCB_DESTROY_NOTIFY:
            positions_.erase(reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window);
            break;
        default:
            break;
    }
}

void FrameWatch::pump(double seconds) {
    std::vector<pollfd> fds{{xcb_get_file_descriptor(c_), POLLIN, 0}};
    for (auto* reader : readers_) {
        if (!reader->closed()) {
            fds.push_back({reader->fd(), POLLIN, 0});
        }
    }
    xcb_flush(c_);
    // Events already queued by a reply wait must not wait for the socket.
    auto* queued = xcb_poll_for_queued_event(c_);
    if (queued == nullptr) {
        poll(fds.data(), fds.size(), static_cast<int>(std::ceil(seconds * 1000)));
    }
    const double time = nowSeconds();
    if (queued != nullptr) {
        handle(queued, time);
        std::free(queued);
    }
    while (auto* event = xcb_poll_for_event(c_)) {
        handle(event, time);
        std::free(event);
    }
    for (auto* reader : readers_) {
        if (!reader->closed()) {
            reader->drain();
        }
    }
}

std::optional<ListChange> FrameWatch::waitListed(xcb_window_t client, double timeout) {
    const double deadline = nowSeconds() + timeout;
    size_t checked = listChanges_.size();
    while (nowSeconds() < deadline && ok()) {
        pump(deadline - nowSeconds());
        if (listChanges_.size() == checked) {
            continue;
        }
        const auto listed = clientList(c_, root_, netClientList_);
        if (std::find(listed.begin(), listed.end(), client) != listed.end()) {
            return listChanges_[checked];
        }
        checked = listChanges_.size();
    }
    return std::nullopt;
}

bool FrameWatch::waitUnlisted(const std::vector<xcb_window_t>& clients, double timeout) {
    const double deadline = nowSeconds() + timeout;
    while (ok()) {
        const auto listed = clientList(c_, root_, netClientList_);
        const bool gone = std::none_of(clients.begin(), clients.end(), [&](xcb_window_t w) {
            return std::find(listed.begin(), listed.end(), w) != listed.end();
        });
        if (gone) {
            return true;
        }
        if (nowSeconds() >= deadline) {
            return false;
        }
        pump(deadline - nowSeconds());
    }
    return false;
}

xcb_window_t FrameWatch::frameOf(xcb_window_t client) {
    xcb_window_t window = client;
    for (;;) {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c_, xcb_query_tree(c_, window), nullptr));
        if (!tree) {
            return XCB_NONE;
        }
        if (tree->parent == root_ || tree->parent == XCB_NONE) {
            return window;
        }
        window = tree->parent;
    }
}

}  // namespace tallowmere::bench
