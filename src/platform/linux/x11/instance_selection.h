// One running program per X display. The running one owns the manager selection
// _TALLOWMERE_S<screen> through a small unmapped window, as window managers own WM_S<n> and trays
// _NET_SYSTEM_TRAY_S<n> (ICCCM 2.8); a later start converts that selection to a command target,
// and the owner carries the command out and answers. The X server drops the selection together
// with the owner's connection, so a killed owner leaves nothing stale behind.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/single_instance.h"

namespace tallowmere {

class InstanceSelection final : public SingleInstance {
  public:
    // A connection of its own to the display named by DISPLAY; null, with one line saying why,
    // when there is none to be had.
    static std::unique_ptr<InstanceSelection> connect(std::string& whyNot);
    ~InstanceSelection();
    InstanceSelection(const InstanceSelection&) = delete;
    InstanceSelection& operator=(const InstanceSelection&) = delete;

    const std::string& displayName() const override { return display_; }

    // Takes the selection unless another program holds it; the check and the take are atomic.
    Claim claim() override;

    // Asks the owner to carry out `command` and waits for its answer.
    Delivery send(InstanceCommand command, std::chrono::milliseconds timeout) override;

    // For the owner: the descriptor to watch, and the handling of what arrived on it. False
    // once another client has taken the selection.
    int fd() const override { return xcb_get_file_descriptor(conn_); }
    bool dispatch(const std::function<void(InstanceCommand)>& onCommand) override;
    bool broken() const override { return xcb_connection_has_error(conn_) != 0; }

  private:
    InstanceSelection(xcb_connection_t* conn, int screen, std::string display);
    xcb_window_t createWindow(std::uint32_t eventMask);
    std::optional<xcb_timestamp_t> serverTime();
    void answer(const xcb_selection_request_event_t& request,
                const std::function<void(InstanceCommand)>& onCommand);
    xcb_atom_t targetOf(InstanceCommand command) const;

    xcb_connection_t* conn_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    std::string display_;
    xcb_window_t owner_ = XCB_WINDOW_NONE;
    xcb_atom_t selection_ = XCB_ATOM_NONE;
    struct Atoms {
        xcb_atom_t manager, targets, null, reply, settings, realign, center, quit;
    } atoms_{};
};

}  // namespace tallowmere
