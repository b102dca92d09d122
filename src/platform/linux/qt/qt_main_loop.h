// The main loop on Qt's event loop: a monotonic clock, one-shot delayed work, drift-free repeating
// timers and the menu-open hold of default-mode deliveries, all behind a single precise timer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "platform/main_loop.h"

namespace tallowmere::linux_qt {

// The index of the next tick to fire after tick `lastIndex`, for a timer whose tick k is due at
// start + k·interval: the first one due at or after `now`. Ticks missed while the loop was busy
// are skipped, not fired in a burst.
std::uint64_t nextTickIndex(double start, double interval, std::uint64_t lastIndex, double now);

// Whole milliseconds to wait until `due`, rounded up so that nothing fires early.
int millisecondsUntil(double due, double now);

class QtMainLoop final : public MainLoop {
  public:
    // A repeating timer of this loop; tickDate() tells the date the running (or last) tick was
    // due, start + k·interval.
    class RepeatingTimer;

    QtMainLoop();
    ~QtMainLoop() override;
    QtMainLoop(const QtMainLoop&) = delete;
    QtMainLoop& operator=(const QtMainLoop&) = delete;

    double now() override;
    void dispatchAfter(double seconds, std::function<void()> work) override;
    std::shared_ptr<Timer> scheduleRepeatingTimer(double interval, RunLoopMode mode,
                                                  std::function<void(Timer&)> tick) override;

    // Delivers work on the next turn of the loop; default-mode work waits while a menu is open.
    void post(RunLoopMode mode, std::function<void()> work);

    // Raised between a menu's aboutToShow and aboutToHide. Held default-mode work is delivered,
    // in the order it arrived, on the next turn after the menu closes.
    void setMenuOpen(bool open);
    bool menuOpen() const;

    // Work and timer ticks waiting, held ones included; zero means nothing will wake the process.
    std::size_t scheduledCount() const;

    // Frame timers: common-mode repeating timers ticking at least every `maxInterval`. While one
    // runs, whatever else the process waits on can be served at its ticks instead of waking it
    // between them. `running` is told true when the first starts and false when the last ends;
    // `beforeTick` runs before each of their ticks.
    void setFrameHooks(double maxInterval, std::function<void(bool running)> running,
                       std::function<void()> beforeTick);
    bool framesRunning() const;

  private:
    struct Queue;
    std::shared_ptr<Queue> queue_;
};

class QtMainLoop::RepeatingTimer final : public Timer {
  public:
    void invalidate() override;
    bool isValid() const override { return valid_; }
    double start() const { return start_; }
    double interval() const { return interval_; }
    double tickDate() const { return start_ + interval_ * static_cast<double>(index_); }
    std::uint64_t tickIndex() const { return index_; }

  private:
    friend class QtMainLoop;
    friend struct QtMainLoop::Queue;
    double start_ = 0;
    double interval_ = 0;
    RunLoopMode mode_ = RunLoopMode::commonModes;
    std::function<void(Timer&)> tick_;
    std::uint64_t index_ = 0;
    bool valid_ = true;
    bool running_ = false;
    bool frame_ = false;
    std::weak_ptr<Queue> queue_;
    std::optional<std::pair<double, std::uint64_t>> pending_;  // its queued tick, if any
};

}  // namespace tallowmere::linux_qt
