// The main loop port: the one clock of the core, one-shot delayed work and repeating timers.
#pragma once

#include <functional>
#include <memory>

namespace tallowmere {

// Default-mode work is held back while a menu is open; common-mode work is not.
enum class RunLoopMode { defaultMode, commonModes };

class Timer {
  public:
    virtual ~Timer() = default;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

class MainLoop {
  public:
    virtual ~MainLoop() = default;

    // Seconds on a monotonic clock.
    virtual double now() = 0;

    // Runs work once on the main loop after the delay (the main dispatch queue).
    virtual void dispatchAfter(double seconds, std::function<void()> work) = 0;

    // A repeating timer; the callback receives the timer so that it can invalidate itself.
    virtual std::shared_ptr<Timer> scheduleRepeatingTimer(double interval, RunLoopMode mode,
                                                          std::function<void(Timer&)> tick) = 0;
};

}  // namespace tallowmere
