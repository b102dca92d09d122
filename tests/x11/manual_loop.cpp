#include "manual_loop.h"

#include <chrono>

namespace tallowmere::x11test {

namespace {
class NoTimer final : public Timer {
  public:
    void invalidate() override {}
    bool isValid() const override { return false; }
};
}  // namespace

double ManualLoop::now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void ManualLoop::dispatchAfter(double seconds, std::function<void()> work) {
    delayed_.emplace(now() + seconds, std::move(work));
}

std::shared_ptr<Timer> ManualLoop::scheduleRepeatingTimer(double, RunLoopMode,
                                                          std::function<void(Timer&)>) {
    return std::make_shared<NoTimer>();
}

void ManualLoop::runReady() {
    while (!posted_.empty()) {
        auto work = std::move(posted_.front());
        posted_.pop_front();
        work();
    }
    const double t = now();
    while (!delayed_.empty() && delayed_.begin()->first <= t) {
        auto work = std::move(delayed_.begin()->second);
        delayed_.erase(delayed_.begin());
        work();
    }
}

}  // namespace tallowmere::x11test
