// The screens port on X11: RandR monitors, primary first, with the window manager's work area
// clipped to each, converted to the core's bottom-left model.
#pragma once

#include <xcb/randr.h>

#include <functional>
#include <optional>
#include <vector>

#include "platform/linux/x11/property_decoders.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/screens.h"

namespace tallowmere::x11 {

// The pure part: monitors (primary first) and the work area to the core's screens.
std::vector<Screen> screensFromMonitors(const std::vector<RootRect>& monitors,
                                        const std::optional<RootRect>& workArea);

class X11Screens final : public Screens {
  public:
    // `activeFrame` gives the active window's frame, for the main screen.
    X11Screens(X11Connection& x, std::function<std::optional<RootRect>()> activeFrame);
    ~X11Screens() override;
    X11Screens(const X11Screens&) = delete;
    X11Screens& operator=(const X11Screens&) = delete;

    // Selects the RandR and work-area changes that make the cached answer stale.
    void start();
    bool handleEvent(const xcb_generic_event_t& event);

    std::vector<Screen> screens() override;
    std::optional<Screen> mainScreen() override;

  private:
    struct Requests {
        std::optional<xcb_randr_get_monitors_cookie_t> monitors;
        xcb_get_property_cookie_t desktop;
        xcb_get_property_cookie_t area;
    };

    // Asks again as soon as the answer goes stale, so that the reply is in by the time a row is
    // planned instead of costing a round trip then; an answer asked for is a stale cache.
    void request();
    void forget(const Requests& requests);
    void refresh();

    X11Connection& x_;
    std::function<std::optional<RootRect>()> activeFrame_;
    std::vector<RootRect> monitors_;
    std::vector<Screen> screens_;
    std::optional<Requests> requested_;
};

}  // namespace tallowmere::x11
