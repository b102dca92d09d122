// Opening the connection and the event pump.
#include "platform/linux/x11/x11_connection.h"

#include <xcb/randr.h>
#include <xcb/res.h>

#include <cstdlib>
#include <cstring>

#include "platform/linux/x11/xcb_ptr.h"

namespace tallowmere::x11 {

std::unique_ptr<X11Connection> X11Connection::open(const char* displayName, std::string& whyNot) {
    std::unique_ptr<X11Connection> self(new X11Connection());
    self->conn_ = xcb_connect(displayName, &self->screenNumber_);
    if (int error = xcb_connection_has_error(self->conn_); error != 0) {
        whyNot = "cannot connect to the X display";
        const char* name = displayName ? displayName : std::getenv("DISPLAY");
        if (name) {
            whyNot += std::string(" \"") + name + "\"";
        }
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(self->conn_));
    for (int i = 0; i < self->screenNumber_ && it.rem; ++i) {
        xcb_screen_next(&it);
    }
    self->screen_ = it.data;
    if (!self->screen_) {
        whyNot = "the X display has no screen " + std::to_string(self->screenNumber_);
        return nullptr;
    }

    xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(self->conn_, &self->ewmh_);
    if (!xcb_ewmh_init_atoms_replies(&self->ewmh_, cookies, nullptr)) {
        whyNot = "cannot intern the EWMH atoms";
        return nullptr;
    }
    self->ewmhReady_ = true;
    self->atoms_.wmState = self->internAtom("WM_STATE");
    self->atoms_.wmWindowRole = self->internAtom("WM_WINDOW_ROLE");
    self->atoms_.wmClientMachine = self->internAtom("WM_CLIENT_MACHINE");
    self->atoms_.netWmCmS0 =
        self->internAtom(("_NET_WM_CM_S" + std::to_string(self->screenNumber_)).c_str());

    if (const xcb_query_extension_reply_t* randr =
            xcb_get_extension_data(self->conn_, &xcb_randr_id);
        randr && randr->present) {
        auto version = own(xcb_randr_query_version_reply(
            self->conn_, xcb_randr_query_version(self->conn_, 1, 5), nullptr));
        if (version && (version->major_version > 1 || version->minor_version >= 5)) {
            self->randrEventBase_ = randr->first_event;
        }
    }
    if (const xcb_query_extension_reply_t* res = xcb_get_extension_data(self->conn_, &xcb_res_id);
        res && res->present) {
        auto version = own(xcb_res_query_version_reply(
            self->conn_, xcb_res_query_version(self->conn_, 1, 2), nullptr));
        self->hasRes_ = version && (version->server_major > 1 || version->server_minor >= 2);
    }
    return self;
}

X11Connection::~X11Connection() {
    if (ewmhReady_) {
        xcb_ewmh_connection_wipe(&ewmh_);
    }
    if (conn_) {
        xcb_disconnect(conn_);
    }
}

xcb_atom_t X11Connection::internAtom(const char* name) {
    auto reply = own(xcb_intern_atom_reply(
        conn_, xcb_intern_atom(conn_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

bool X11Connection::dispatchEvents(bool readSocket) {
    bool first = readSocket;
    while (true) {
        // Only the first read may touch the socket; the rest drain what xcb already holds, so a
        // listener's round trips never make this loop block.
        xcb_generic_event_t* raw =
            first ? xcb_poll_for_event(conn_) : xcb_poll_for_queued_event(conn_);
        first = false;
        if (!raw) {
            break;
        }
        auto event = own(raw);
        dispatch(*event);
    }
    return !hasError();
}

std::shared_ptr<void> X11Connection::addListener(Listener listener) {
    auto shared = std::make_shared<Listener>(std::move(listener));
    auto grown = std::make_shared<ListenerList>(*listeners_);
    grown->push_back(shared);
    listeners_ = std::move(grown);
    return std::shared_ptr<void>(nullptr, [this, weak = std::weak_ptr<Listener>(shared)](void*) {
        auto shrunk = std::make_shared<ListenerList>(*listeners_);
        std::erase_if(*shrunk, [&](const auto& l) { return l == weak.lock(); });
        listeners_ = std::move(shrunk);
    });
}

void X11Connection::dispatch(const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7f) == 0) {
        ++errorCount_;
        if (errorListener_) {
            errorListener_(reinterpret_cast<const xcb_generic_error_t&>(event));
        }
        return;
    }
    // Held for the whole dispatch: a listener may drop its own or another's handle.
    const auto listeners = listeners_;
    for (const auto& listener : *listeners) {
        if ((*listener)(event)) {
            return;
        }
    }
}

}  // namespace tallowmere::x11
