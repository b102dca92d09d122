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
    // Grabs Control+Alt+<letter> on the root in each of the four lock states (plain, Caps Lock,
    // NumLock, both): how many were granted, as a state held by another client is refused. Lets
    // go of them at once unless `keep`.
    int grabControlAlt(char letter, bool keep = true);
    void ungrabControlAlt(char letter);
    // How many key presses our grabs have brought us so far.
    int keyPressesReceived();

  private:
    xcb_keycode_t keycode(char letter);
    // The server's current time, read from a property notification on a window of our own.
    xcb_timestamp_t serverTime();

    xcb_window_t clock_ = XCB_NONE;
    int keyPresses_ = 0;
};

}  // namespace tallowmere::e2e
