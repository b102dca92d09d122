#include "platform/sim/sim_main_loop.h"

#include <algorithm>

namespace tallowmere::sim {

struct SimMainLoop::TimerState final : Timer {
    double interval = 0;
    RunLoopMode mode = RunLoopMode::commonModes;
    std::function<void(Timer&)> tick;
    double start = 0;
    std::uint64_t fired = 0;
    bool valid = true;
    bool running = false;
    bool heldTick = false;

    void invalidate() override {
        valid = false;
        // A timer that invalidates itself from its own tick is still inside `tick`; the loop
        // releases the callback once the tick has returned.
        if (!running) {
            tick = nullptr;
        }
    }
    bool isValid() const override { return valid; }
};

void SimMainLoop::schedule(double at, Entry entry) {
    queue_.emplace(Key{at, sequence_++}, std::move(entry));
}

void SimMainLoop::dispatchAfter(double seconds, std::function<void()> work) {
    // The main queue is served in the common modes, menus open or not.
    schedule(now_ + std::max(seconds, 0.0), Entry{RunLoopMode::commonModes, std::move(work), {}});
}

void SimMainLoop::post(RunLoopMode mode, std::function<void()> work) {
    schedule(now_, Entry{mode, std::move(work), {}});
}

std::shared_ptr<Timer> SimMainLoop::scheduleRepeatingTimer(double interval, RunLoopMode mode,
                                                           std::function<void(Timer&)> tick) {
    auto timer = std::make_shared<TimerState>();
    timer->interval = interval > 0 ? interval : 0.0001;
    timer->mode = mode;
    timer->tick = std::move(tick);
    timer->start = now_;
    std::erase_if(timers_, [](const auto& weak) { return weak.expired(); });
    timers_.push_back(timer);
    schedule(now_ + timer->interval, Entry{mode, {}, timer});
    return timer;
}

void SimMainLoop::fireTimer(const std::shared_ptr<TimerState>& timer) {
    if (!timer->valid || !timer->tick) {
        return;
    }
    timer->running = true;
    timer->tick(*timer);
    timer->running = false;
    if (!timer->valid) {
        timer->tick = nullptr;
    }
}

void SimMainLoop::run(Entry& entry) {
    const bool held = menuOpen_ && entry.mode == RunLoopMode::defaultMode;
    if (entry.timer) {
        auto timer = entry.timer;
        if (!timer->valid) {
            return;
        }
        // Fire dates are computed from the start, so ticks do not drift.
        ++timer->fired;
        schedule(timer->start + timer->interval * static_cast<double>(timer->fired + 1),
                 Entry{timer->mode, {}, timer});
        if (held) {
            // Missed ticks of a default-mode timer coalesce into one after the menu closes.
            if (!timer->heldTick) {
                timer->heldTick = true;
                held_.push_back(Entry{timer->mode, {}, timer});
            }
            return;
        }
        fireTimer(timer);
        return;
    }
    if (held) {
        held_.push_back(std::move(entry));
        return;
    }
    auto work = std::move(entry.work);
    if (work) {
        work();
    }
}

void SimMainLoop::advance(double seconds) {
    const double target = now_ + std::max(seconds, 0.0);
    while (!queue_.empty() && queue_.begin()->first.first <= target) {
        auto node = queue_.extract(queue_.begin());
        now_ = std::max(now_, node.key().first);
        run(node.mapped());
    }
    now_ = target;
}

void SimMainLoop::setMenuOpen(bool open) {
    menuOpen_ = open;
    if (open) {
        return;
    }
    auto held = std::move(held_);
    held_.clear();
    for (auto& entry : held) {
        if (entry.timer) {
            entry.timer->heldTick = false;
            fireTimer(entry.timer);
        } else if (entry.work) {
            entry.work();
        }
    }
}

std::size_t SimMainLoop::pendingWorkCount() const {
    const auto oneShots = std::count_if(queue_.begin(), queue_.end(),
                                        [](const auto& item) { return !item.second.timer; });
    return static_cast<std::size_t>(oneShots) + held_.size();
}

std::size_t SimMainLoop::activeTimerCount() const {
    return static_cast<std::size_t>(
        std::count_if(timers_.begin(), timers_.end(), [](const auto& weak) {
            auto timer = weak.lock();
            return timer && timer->valid;
        }));
}

}  // namespace tallowmere::sim
