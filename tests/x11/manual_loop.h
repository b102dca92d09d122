// A main loop on the real-time clock whose delayed and posted work runs only when the test says so.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "platform/main_loop.h"

namespace tallowmere::x11test {

class ManualLoop final : public MainLoop {
  public:
    double now() override;
    void dispatchAfter(double seconds, std::function<void()> work) override;
    std::shared_ptr<Timer> scheduleRepeatingTimer(double, RunLoopMode,
                                                  std::function<void(Timer&)>) override;
    void post(std::function<void()> work) { posted_.push_back(std::move(work)); }
    // Runs posted work, then delayed work that is due.
    void runReady();

  private:
    std::deque<std::function<void()>> posted_;
    std::multimap<double, std::function<void()>> delayed_;
};

}  // namespace tallowmere::x11test
