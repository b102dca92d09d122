// The manager selection on a connection of its own, so that commands are answered whatever the
// backend's connection is doing.
#include "platform/linux/x11/instance_selection.h"

#include <poll.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/linux/x11/xcb_ptr.h"

namespace tallowmere {
namespace {

using x11::own;

constexpr std::string_view kName = "tallowmere";

}  // namespace

std::unique_ptr<InstanceSelection> InstanceSelection::connect(std::string& whyNot) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        whyNot = "no X display (DISPLAY is not set); tallowmere needs an X11 session";
        return nullptr;
    }
    int screen = 0;
    xcb_connection_t* conn = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(conn)) {
        xcb_disconnect(conn);
        whyNot = std::string("cannot open the X display \"") + display +
                 "\"; tallowmere needs an X11 session";
        return nullptr;
    }
    return std::unique_ptr<InstanceSelection>(new InstanceSelection(conn, screen, display));
}

InstanceSelection::InstanceSelection(xcb_connection_t* conn, int screen, std::string display)
    : conn_(conn), display_(std::move(display)) {
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(conn_));
    for (int i = 0; i < screen && roots.rem > 1; ++i) {
        xcb_screen_next(&roots);
    }
    root_ = roots.data->root;
    const std::string selection = "_TALLOWMERE_S" + std::to_string(screen);
    const std::array<const char*, 9> names = {selection.c_str(),
                                              "MANAGER",
                                              "TARGETS",
                                              "NULL",
                                              "_TALLOWMERE_REPLY",
                                              "_TALLOWMERE_SETTINGS",
                                              "_TALLOWMERE_REALIGN",
                                              "_TALLOWMERE_CENTER",
                                              "_TALLOWMERE_QUIT"};
    std::array<xcb_intern_atom_cookie_t, names.size()> cookies{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        cookies[i] = xcb_intern_atom(conn_, 0, std::uint16_t(std::strlen(names[i])), names[i]);
    }
    std::array<xcb_atom_t, names.size()> atoms{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto reply = own(xcb_intern_atom_reply(conn_, cookies[i], nullptr));
        atoms[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }
    selection_ = atoms[0];
    atoms_ = {atoms[1], atoms[2], atoms[3], atoms[4], atoms[5], atoms[6], atoms[7], atoms[8]};
}

InstanceSelection::~InstanceSelection() {
    xcb_disconnect(conn_);
}

xcb_window_t InstanceSelection::createWindow(std::uint32_t eventMask) {
    const xcb_window_t window = xcb_generate_id(conn_);
    const std::uint32_t values[] = {1, eventMask};
    xcb_create_window(conn_, 0, window, root_, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    return window;
}

// Naming the owner's window brings a PropertyNotify with the server's time: a selection is taken
// with a real timestamp, never CurrentTime.
std::optional<xcb_timestamp_t> InstanceSelection::serverTime() {
    xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, owner_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        std::uint32_t(kName.size()), kName.data());
    xcb_flush(conn_);
    while (auto event = own(xcb_wait_for_event(conn_))) {
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(*event);
            if (notify.window == owner_) {
                return notify.time;
            }
        }
    }
    return std::nullopt;
}

InstanceSelection::Claim InstanceSelection::claim() {
    if (selection_ == XCB_ATOM_NONE) {
        return Claim::failed;
    }
    owner_ = createWindow(XCB_EVENT_MASK_PROPERTY_CHANGE);
    const auto time = serverTime();
    if (!time) {
        return Claim::failed;
    }
    // Two programs started together must not both see a free selection and both take it.
    xcb_grab_server(conn_);
    auto before = own(
        xcb_get_selection_owner_reply(conn_, xcb_get_selection_owner(conn_, selection_), nullptr));
    const bool free = before && before->owner == XCB_WINDOW_NONE;
    if (free) {
        xcb_set_selection_owner(conn_, owner_, selection_, *time);
    }
    auto after = own(
        xcb_get_selection_owner_reply(conn_, xcb_get_selection_owner(conn_, selection_), nullptr));
    xcb_ungrab_server(conn_);
    if (!free || !after || after->owner != owner_) {
        xcb_destroy_window(conn_, owner_);
        owner_ = XCB_WINDOW_NONE;
        xcb_flush(conn_);
        return before && !free ? Claim::heldByAnother : Claim::failed;
    }
    xcb_client_message_event_t announce{};
    announce.response_type = XCB_CLIENT_MESSAGE;
    announce.format = 32;
    announce.window = root_;
    announce.type = atoms_.manager;
    announce.data.data32[0] = *time;
    announce.data.data32[1] = selection_;
    announce.data.data32[2] = owner_;
    xcb_send_event(conn_, 0, root_, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&announce));
    xcb_flush(conn_);
    return Claim::acquired;
}

xcb_atom_t InstanceSelection::targetOf(InstanceCommand command) const {
    switch (command) {
        case InstanceCommand::settings:
            return atoms_.settings;
        case InstanceCommand::realign:
            return atoms_.realign;
        case InstanceCommand::center:
            return atoms_.center;
        case InstanceCommand::quit:
            return atoms_.quit;
    }
    return XCB_ATOM_NONE;
}

InstanceSelection::Delivery InstanceSelection::send(InstanceCommand command,
                                                    std::chrono::milliseconds timeout) {
    auto holder = own(
        xcb_get_selection_owner_reply(conn_, xcb_get_selection_owner(conn_, selection_), nullptr));
    if (!holder || holder->owner == XCB_WINDOW_NONE) {
        return Delivery::noInstance;
    }
    const xcb_window_t requestor = createWindow(0);
    xcb_convert_selection(conn_, requestor, selection_, targetOf(command), atoms_.reply,
                          XCB_CURRENT_TIME);
    xcb_flush(conn_);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!xcb_connection_has_error(conn_)) {
        while (auto event = own(xcb_poll_for_event(conn_))) {
            if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY) {
                continue;
            }
            const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(*event);
            if (notify.requestor != requestor) {
                continue;
            }
            xcb_destroy_window(conn_, requestor);
            xcb_flush(conn_);
            if (notify.property != XCB_ATOM_NONE) {
                return Delivery::done;
            }
            // The server answers by itself when the owner has gone meanwhile.
            auto now = own(xcb_get_selection_owner_reply(
                conn_, xcb_get_selection_owner(conn_, selection_), nullptr));
            return now && now->owner != XCB_WINDOW_NONE ? Delivery::refused : Delivery::noInstance;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd watch{fd(), POLLIN, 0};
        poll(&watch, 1, int(left.count()));
    }
    return Delivery::noAnswer;
}

bool InstanceSelection::dispatch(const std::function<void(InstanceCommand)>& onCommand) {
    bool lost = false;
    while (auto event = own(xcb_poll_for_event(conn_))) {
        const int type = event->response_type & 0x7f;
        if (type == XCB_SELECTION_REQUEST) {
            answer(reinterpret_cast<const xcb_selection_request_event_t&>(*event), onCommand);
        } else if (type == XCB_SELECTION_CLEAR) {
            const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(*event);
            lost = lost || (clear.selection == selection_ && clear.owner == owner_);
        }
    }
    xcb_flush(conn_);
    return !lost;
}

void InstanceSelection::answer(const xcb_selection_request_event_t& request,
                               const std::function<void(InstanceCommand)>& onCommand) {
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = XCB_ATOM_NONE;
    // Clients older than ICCCM 2 name no property and mean the target.
    const xcb_atom_t property =
        request.property == XCB_ATOM_NONE ? request.target : request.property;
    if (request.selection == selection_ && request.owner == owner_) {
        if (request.target == atoms_.targets) {
            const std::vector<xcb_atom_t> targets = {atoms_.targets, atoms_.settings,
                                                     atoms_.realign, atoms_.center, atoms_.quit};
            xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, request.requestor, property,
                                XCB_ATOM_ATOM, 32, std::uint32_t(targets.size()), targets.data());
            notify.property = property;
        }
        for (InstanceCommand command : {InstanceCommand::settings, InstanceCommand::realign,
                                        InstanceCommand::center, InstanceCommand::quit}) {
            if (request.target == targetOf(command)) {
                onCommand(command);
                // A target with a side effect answers with an empty property of type NULL.
                xcb_change_property(conn_, XCB_PROP_MODE_REPLACE, request.requestor, property,
                                    atoms_.null, 32, 0, nullptr);
                notify.property = property;
            }
        }
    }
    xcb_send_event(conn_, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&notify));
}

}  // namespace tallowmere
