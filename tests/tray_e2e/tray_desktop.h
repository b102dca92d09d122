// The tray desktop as the test's own client sees and stirs it: the icon embedded in the tray host,
// clicks, and keyboard grabs that show who holds a key.
#pragma once

#include <optional>
#include <string>

#include "probe.h"

namespace tallowmere::e2e {

class TrayDesktop : public kit::Probe {
  public:
    TrayDesktop();

    // A window below the tray host's window whose WM_CLASS instance is `instance`.
    std::optional<xcb_window_t> embeddedIn(const std::string& hostClass,
                                           const std::string& instance);
    // Clicks the centre of a window with the first button.
    bool click(xcb_window_t window);
    // Whether another client holds the keyboard grab, as an open menu does: keys sent before
    // then would go to whatever has the focus instead.
    bool keyboardHeldByAnother();
    // Grabs Control+Alt+<letter> on the root with every lock variant; false when refused.
    bool grabControlAlt(char letter);
    void ungrabControlAlt(char letter);
    // How many key presses our grabs have brought us so far.
    int keyPressesReceived();

  private:
    // The server's current time, read from a property notification on a window of our own.
    xcb_timestamp_t serverTime();

    xcb_window_t clock_ = XCB_NONE;
    int keyPresses_ = 0;
};

}  // namespace tallowmere::e2e
