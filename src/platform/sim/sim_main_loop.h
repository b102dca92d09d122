// A deterministic main loop on a virtual clock: nothing happens until a test advances time, and
// then every due piece of work runs in time order (ties in the order it was scheduled).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/main_loop.h"

namespace tallowmere::sim {

class SimMainLoop final : public MainLoop {
  public:
    double now() override { return now_; }
    void dispatchAfter(double seconds, std::function<void()> work) override;
    std::shared_ptr<Timer> scheduleRepeatingTimer(double interval, RunLoopMode mode,
                                                  std::function<void(Timer&)> tick) override;

    // Queues work for the current moment in a mode; default-mode work waits while a menu is open.
    void post(RunLoopMode mode, std::function<void()> work);

    // Runs everything due within the next `seconds`, then leaves the clock at now + seconds.
    void advance(double seconds);
    // Runs everything due now (work that schedules more work for now runs too).
    void runDue() { advance(0); }

    // While a menu is open the loop runs in its tracking mode: default-mode deliveries are held
    // and delivered, in order, when the menu closes.
    void setMenuOpen(bool open);
    bool menuOpen() const { return menuOpen_; }

    // Work and timers still waiting (valid timers only).
    std::size_t pendingWorkCount() const;
    std::size_t activeTimerCount() const;

  private:
    struct TimerState;
    struct Entry {
        RunLoopMode mode = RunLoopMode::commonModes;
        std::function<void()> work;         // one-shot work, or
        std::shared_ptr<TimerState> timer;  // a timer's next tick
    };
    using Key = std::pair<double, std::uint64_t>;

    void schedule(double at, Entry entry);
    void run(Entry& entry);
    void fireTimer(const std::shared_ptr<TimerState>& timer);

    double now_ = 0;
    std::uint64_t sequence_ = 0;
    bool menuOpen_ = false;
    std::map<Key, Entry> queue_;
    std::vector<Entry> held_;
    std::vector<std::weak_ptr<TimerState>> timers_;
};

}  // namespace tallowmere::sim
