// Our own xcb connection: atoms, the EWMH helper, the root window, and the one place that reads
// events and hands them to the listeners that asked for them.
#pragma once

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tallowmere::x11 {

struct Atoms {
    xcb_atom_t wmState = 0;
    xcb_atom_t wmWindowRole = 0;
    xcb_atom_t wmClientMachine = 0;
    xcb_atom_t netWmCmS0 = 0;
};

class X11Connection {
  public:
    // Opens `displayName` (null: $DISPLAY). Returns null with a reason when that fails.
    static std::unique_ptr<X11Connection> open(const char* displayName, std::string& whyNot);
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    xcb_connection_t* conn() const { return conn_; }
    xcb_ewmh_connection_t* ewmh() { return &ewmh_; }
    const Atoms& atoms() const { return atoms_; }
    xcb_window_t root() const { return screen_->root; }
    xcb_screen_t* screen() const { return screen_; }
    int screenNumber() const { return screenNumber_; }
    int fd() const { return xcb_get_file_descriptor(conn_); }
    bool hasError() const { return xcb_connection_has_error(conn_) != 0; }
    std::uint8_t randrEventBase() const { return randrEventBase_; }
    bool hasRandr() const { return randrEventBase_ != 0; }
    bool hasRes() const { return hasRes_; }

    // Every event read from the connection goes to each listener in order until one returns true,
    // for as long as the returned handle is kept.
    using Listener = std::function<bool(const xcb_generic_event_t&)>;
    [[nodiscard]] std::shared_ptr<void> addListener(Listener listener);
    // Errors of unchecked requests (a window vanished between two requests, say).
    using ErrorListener = std::function<void(const xcb_generic_error_t&)>;
    void setErrorListener(ErrorListener listener) { errorListener_ = std::move(listener); }

    // Reads what the socket has (when `readSocket`) and what xcb already queued, and dispatches
    // it. Returns false once the connection is broken.
    bool dispatchEvents(bool readSocket);

    void flush() { xcb_flush(conn_); }
    // Counts of dispatched X errors, for tests that must see none.
    std::uint64_t errorCount() const { return errorCount_; }

    xcb_atom_t internAtom(const char* name);

  private:
    X11Connection() = default;
    void dispatch(const xcb_generic_event_t& event);

    xcb_connection_t* conn_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    int screenNumber_ = 0;
    xcb_ewmh_connection_t ewmh_{};
    bool ewmhReady_ = false;
    Atoms atoms_;
    std::uint8_t randrEventBase_ = 0;
    bool hasRes_ = false;
    // Replaced, never changed in place: a dispatch keeps the list it started with without
    // copying it for every event.
    using ListenerList = std::vector<std::shared_ptr<Listener>>;
    std::shared_ptr<const ListenerList> listeners_ = std::make_shared<const ListenerList>();
    ErrorListener errorListener_;
    std::uint64_t errorCount_ = 0;
};

}  // namespace tallowmere::x11
