// A private Xvfb for tests: started on a display number the server picks itself, stopped by pid.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace tallowmere::testing {

class XvfbServer {
  public:
    // Starts the server and waits until it accepts connections; check display() for success.
    XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;
    ~XvfbServer();

    // ":N", or none when the server did not come up.
    const std::optional<std::string>& display() const { return display_; }

  private:
    pid_t pid_ = -1;
    std::optional<std::string> display_;
};

}  // namespace tallowmere::testing
