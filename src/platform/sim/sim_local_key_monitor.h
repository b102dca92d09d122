// The program's own key presses on the simulated desktop: tests type keys, the installed monitors
// see them first and may swallow them, and what is left reaches the focused window.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <vector>

#include "platform/local_key_monitor.h"

namespace tallowmere::sim {

class SimLocalKeyMonitor final : public LocalKeyMonitor {
  public:
    Token addMonitor(Handler handler) override;
    void removeMonitor(Token token) override;

    // Runs the monitors, newest first, each on what the previous one let through. Returns the
    // event as it reaches the focused window, none when a monitor swallowed it.
    std::optional<KeyEvent> type(const KeyEvent& event);

    std::size_t liveMonitorCount() const { return monitors_.size(); }

  private:
    std::map<Token, Handler> monitors_;
    Token nextToken_ = 1;
};

}  // namespace tallowmere::sim
