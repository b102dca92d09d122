#include "desktop_gauges.h"

#include <poll.h>
#include <xcb/res.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "child_process.h"

namespace tallowmere::stress {
namespace {

using kit::Reply;

std::string atomName(xcb_connection_t* c, xcb_atom_t atom) {
    Reply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atom), nullptr));
    if (!reply) {
        return "atom " + std::to_string(atom);
    }
    return std::string(xcb_get_atom_name_name(reply.get()),
                       std::size_t(xcb_get_atom_name_name_length(reply.get())));
}

}  // namespace

int countFromEnvironment(const char* name, int brief) {
    const char* value = std::getenv(name);
    if (!value) {
        return brief;
    }
    const int parsed = std::atoi(value);
    return parsed > 0 ? parsed : brief;
}

std::optional<long> residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return std::nullopt;
}

namespace {

// The resource-id bases of every X client of the process.
std::vector<std::uint32_t> clientBases(xcb_connection_t* c, pid_t pid) {
    std::free(xcb_res_query_version_reply(c, xcb_res_query_version(c, 1, 2), nullptr));
    // Every client, asked for its local process id.
    xcb_res_client_id_spec_t all{0, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    Reply<xcb_res_query_client_ids_reply_t> ids(
        xcb_res_query_client_ids_reply(c, xcb_res_query_client_ids(c, 1, &all), nullptr));
    std::vector<std::uint32_t> bases;
    if (!ids) {
        return bases;
    }
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem;
         xcb_res_client_id_value_next(&it)) {
        const xcb_res_client_id_value_t* value = it.data;
        if ((value->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(value) >= 1 &&
            *xcb_res_client_id_value_value(value) == std::uint32_t(pid)) {
            bases.push_back(value->spec.client);
        }
    }
    return bases;
}

}  // namespace

std::size_t shownTopLevels(kit::Probe& probe, pid_t pid) {
    xcb_connection_t* c = probe.conn();
    const std::vector<std::uint32_t> bases = clientBases(c, pid);
    // Every client's ids share the server's mask; the bits outside it name the client.
    const std::uint32_t mask = xcb_get_setup(c)->resource_id_mask;
    std::size_t shown = 0;
    for (xcb_window_t child : probe.children(probe.root())) {
        if (std::find(bases.begin(), bases.end(), child & ~mask) == bases.end()) {
            continue;
        }
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, child), nullptr));
        shown += attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }
    return shown;
}

ResourceCounts xResources(kit::Probe& probe, pid_t pid) {
    xcb_connection_t* c = probe.conn();
    ResourceCounts counts;
    for (std::uint32_t base : clientBases(c, pid)) {
        Reply<xcb_res_query_client_resources_reply_t> resources(
            xcb_res_query_client_resources_reply(c, xcb_res_query_client_resources(c, base),
                                                 nullptr));
        if (!resources) {
            continue;
        }
        for (auto type = xcb_res_query_client_resources_types_iterator(resources.get()); type.rem;
             xcb_res_type_next(&type)) {
            counts[atomName(c, type.data->resource_type)] += type.data->count;
        }
    }
    return counts;
}

std::string describe(const ResourceCounts& counts) {
    std::ostringstream text;
    for (const auto& [type, count] : counts) {
        text << (text.tellp() > 0 ? " " : "") << type << '=' << count;
    }
    return text.str();
}

MoveQueueGauge::MoveQueueGauge(const std::string& display)
    : probe_(display), events_(xcb_connect(display.c_str(), nullptr)) {
    if (xcb_connection_has_error(events_)) {
        return;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(events_)).data;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(events_, screen->root, XCB_CW_EVENT_MASK, &mask);
    client_ = xcb_generate_id(events_);
    xcb_create_window(events_, XCB_COPY_FROM_PARENT, client_, screen->root, 0, 900, 60, 40, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const std::string wmClass = std::string("gauge") + '\0' + "StressGauge" + '\0';
    xcb_change_property(events_, XCB_PROP_MODE_REPLACE, client_, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                        8, std::uint32_t(wmClass.size()), wmClass.data());
    xcb_map_window(events_, client_);
    xcb_flush(events_);
    // Managed once listed; its frame is then the root's child that holds it.
    kit::waitUntil([&] {
        frame_ = probe_.listed(client_) ? probe_.frameOf(client_).value_or(client_) : client_;
        return frame_ != client_;
    });
    if (frame_ == client_) {
        frame_ = XCB_WINDOW_NONE;
    }
    while (auto* event = xcb_poll_for_event(events_)) {
        std::free(event);
    }
}

MoveQueueGauge::~MoveQueueGauge() {
    xcb_disconnect(events_);
}

void MoveQueueGauge::notePlaces() {
    for (xcb_window_t child : probe_.children(probe_.root())) {
        if (const auto box = probe_.geometry(child)) {
            places_[child] = {box->x, box->y};
        }
    }
    // What happened before these places is no move ahead of a later sample.
    std::free(xcb_get_input_focus_reply(events_, xcb_get_input_focus(events_), nullptr));
    while (auto* event = xcb_poll_for_event(events_)) {
        std::free(event);
    }
}

std::optional<std::size_t> MoveQueueGauge::sample() {
    if (!ready()) {
        return std::nullopt;
    }
    flip_ = 1 - flip_;
    probe_.moveFrame(client_, 10 * flip_, 900);
    std::size_t ahead = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        Reply<xcb_generic_event_t> event(xcb_poll_for_event(events_));
        if (!event) {
            if (xcb_connection_has_error(events_)) {
                return std::nullopt;
            }
            pollfd ready{xcb_get_file_descriptor(events_), POLLIN, 0};
            poll(&ready, 1, 100);
            continue;
        }
        if ((event->response_type & 0x7f) != XCB_CONFIGURE_NOTIFY) {
            continue;
        }
        const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event.get());
        if (configure->window == frame_) {
            if (configure->x == 10 * flip_) {
                deepest_ = std::max(deepest_, ahead);
                return ahead;
            }
            continue;  // a restacking of ours
        }
        auto& place = places_[configure->window];
        if (place != std::pair<int, int>{configure->x, configure->y}) {
            place = {configure->x, configure->y};
            ++ahead;
            ++otherMoves_;
        }
    }
    return std::nullopt;
}

}  // namespace tallowmere::stress
