// A separate process (so that its windows are not the test's) that creates and destroys windows on
// request.
#pragma once

#include <sys/types.h>
#include <xcb/xcb.h>

#include <string>

namespace tallowmere::kit {

class WindowOwner {
  public:
    explicit WindowOwner(const std::string& display);
    ~WindowOwner();
    WindowOwner(const WindowOwner&) = delete;
    WindowOwner& operator=(const WindowOwner&) = delete;

    pid_t pid() const { return pid_; }
    // A mapped top-level window with WM_CLASS `wmClass`, asking to be placed at (x, y); `reuseId`
    // creates it under an id the owner used before. Returns its id, or 0.
    xcb_window_t create(const std::string& wmClass, int x, int y, int width, int height,
                        xcb_window_t reuseId = 0);
    void destroy(xcb_window_t window);

  private:
    struct Request;
    xcb_window_t call(const Request& request);
    pid_t pid_ = -1;
    int socket_ = -1;
};

}  // namespace tallowmere::kit
