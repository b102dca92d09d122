#include "platform/linux/qt/qt_main_loop.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <vector>

namespace tallowmere::linux_qt {
namespace {

using Key = std::pair<double, std::uint64_t>;

using Clock = std::chrono::steady_clock;

Clock::time_point origin() {
    static const Clock::time_point start = Clock::now();
    return start;
}

double monotonicSeconds() {
    return std::chrono::duration<double>(Clock::now() - origin()).count();
}

// The steady clock is CLOCK_MONOTONIC here; rounded up so that the timer never fires early.
timespec monotonicDeadline(double due) {
    const auto at = std::chrono::ceil<std::chrono::nanoseconds>(origin().time_since_epoch() +
                                                                std::chrono::duration<double>(due));
    const auto ns = std::max<std::int64_t>(at.count(), 1);
    return {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

double saneDelay(double seconds) {
    return std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
}

}  // namespace

std::uint64_t nextTickIndex(double start, double interval, std::uint64_t lastIndex, double now) {
    const std::uint64_t next = lastIndex + 1;
    const double due = std::ceil((now - start) / interval);
    if (std::isfinite(due) && due > static_cast<double>(next) && due < 1e18) {
        return static_cast<std::uint64_t>(due);
    }
    return next;
}

int millisecondsUntil(double due, double now) {
    const double ms = std::ceil((due - now) * 1000.0);
    if (!(ms > 0)) {
        return 0;
    }
    return static_cast<int>(std::min(ms, static_cast<double>(std::numeric_limits<int>::max())));
}

// Everything due is kept in one ordered queue, (due date, arrival) as the key, and one timer is
// armed for the head: with nothing queued, nothing wakes the process. The timer is a timerfd set
// to the head's date to the nanosecond: Qt's timers count whole milliseconds, which would hold
// every delay and every frame back by up to two of them. Without one, a precise QTimer.
struct QtMainLoop::Queue : std::enable_shared_from_this<Queue> {
    struct Entry {
        RunLoopMode mode = RunLoopMode::commonModes;
        std::function<void()> work;             // one-shot work, or
        std::shared_ptr<RepeatingTimer> timer;  // a timer's tick
        std::uint64_t tickIndex = 0;
    };

    int timerFd = -1;
    std::unique_ptr<QSocketNotifier> timerNotifier;
    QTimer qtTimer;
    std::map<Key, Entry> entries;
    std::vector<std::pair<Key, Entry>> held;
    std::uint64_t sequence = 1;
    bool menuOpen = false;
    bool firing = false;
    std::optional<double> armedDue;
    double frameInterval = 0;
    std::function<void(bool)> framesChanged;
    std::function<void()> beforeFrame;
    std::size_t frames = 0;

    Queue() {
        timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (timerFd >= 0) {
            timerNotifier = std::make_unique<QSocketNotifier>(timerFd, QSocketNotifier::Read);
            QObject::connect(timerNotifier.get(), &QSocketNotifier::activated, [this] {
                std::uint64_t expirations = 0;
                if (read(timerFd, &expirations, sizeof expirations) > 0) {
                    fire();
                }
            });
        }
        qtTimer.setSingleShot(true);
        qtTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&qtTimer, &QTimer::timeout, [this] { fire(); });
    }

    ~Queue() {
        timerNotifier.reset();
        if (timerFd >= 0) {
            close(timerFd);
        }
    }

    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    void setTimer(std::optional<double> due) {
        if (timerFd < 0) {
            if (due) {
                qtTimer.start(millisecondsUntil(*due, monotonicSeconds()));
            } else {
                qtTimer.stop();
            }
            return;
        }
        itimerspec when{};
        if (due) {
            when.it_value = monotonicDeadline(*due);
        }
        timerfd_settime(timerFd, TFD_TIMER_ABSTIME, &when, nullptr);
    }

    Key add(double due, Entry entry) {
        const Key key{due, sequence++};
        entries.emplace(key, std::move(entry));
        arm();
        return key;
    }

    void arm() {
        if (firing) {
            return;  // fire() arms once the turn is over
        }
        if (entries.empty()) {
            if (armedDue) {
                setTimer(std::nullopt);
            }
            armedDue.reset();
            return;
        }
        const double due = entries.begin()->first.first;
        if (armedDue == due) {
            return;
        }
        armedDue = due;
        setTimer(due);
    }

    void fire() {
        const auto keepAlive = shared_from_this();
        armedDue.reset();
        firing = true;
        const double turn = monotonicSeconds();
        // Work queued during this turn waits for the next one, so that work which queues more
        // work cannot starve the rest of the event loop.
        const std::uint64_t limit = sequence;
        while (!entries.empty()) {
            const Key key = entries.begin()->first;
            if (key.first > turn || key.second >= limit) {
                break;
            }
            auto node = entries.extract(entries.begin());
            run(node.key(), node.mapped());
        }
        firing = false;
        arm();
    }

    void run(const Key& key, Entry& entry) {
        const bool hold = menuOpen && entry.mode == RunLoopMode::defaultMode;
        if (entry.timer) {
            runTick(key, entry, hold);
            return;
        }
        if (hold) {
            held.emplace_back(key, std::move(entry));
            return;
        }
        if (entry.work) {
            auto work = std::move(entry.work);
            work();
        }
    }

    void runTick(const Key& key, Entry& entry, bool hold) {
        const auto timer = entry.timer;
        timer->pending_.reset();
        if (!timer->valid_ || !timer->tick_) {
            return;
        }
        if (hold) {
            // Ticks of a default-mode timer coalesce into one, delivered when the menu closes;
            // meanwhile the timer sleeps rather than waking the process for nothing.
            held.emplace_back(key, std::move(entry));
            return;
        }
        if (timer->frame_ && beforeFrame) {
            beforeFrame();
            if (!timer->valid_) {
                return;
            }
        }
        timer->index_ = entry.tickIndex;
        timer->running_ = true;
        timer->tick_(*timer);
        timer->running_ = false;
        if (!timer->valid_) {
            timer->tick_ = nullptr;
            return;
        }
        // Fire dates come from the start, so the ticks do not drift.
        const std::uint64_t next =
            nextTickIndex(timer->start_, timer->interval_, timer->index_, monotonicSeconds());
        const double due = timer->start_ + timer->interval_ * static_cast<double>(next);
        timer->pending_ = add(due, Entry{timer->mode_, {}, timer, next});
    }

    void release() {
        auto released = std::move(held);
        held.clear();
        for (auto& [key, entry] : released) {
            entries.emplace(key, std::move(entry));
        }
        arm();
    }

    void cancel(const Key& key) {
        entries.erase(key);
        arm();
    }

    void frameStarted(RepeatingTimer& timer) {
        if (timer.mode_ != RunLoopMode::commonModes || timer.interval_ > frameInterval) {
            return;  // a held or slow timer cannot stand in for other wake-ups
        }
        timer.frame_ = true;
        if (frames++ == 0 && framesChanged) {
            framesChanged(true);
        }
    }

    void frameEnded(RepeatingTimer& timer) {
        if (!timer.frame_) {
            return;
        }
        timer.frame_ = false;
        if (--frames == 0 && framesChanged) {
            framesChanged(false);
        }
    }
};

void QtMainLoop::RepeatingTimer::invalidate() {
    if (!valid_) {
        return;
    }
    valid_ = false;
    if (auto queue = queue_.lock()) {
        queue->frameEnded(*this);
    }
    // A timer invalidated from its own tick is still inside tick_; the loop drops the callback
    // once the tick has returned.
    if (!running_) {
        tick_ = nullptr;
    }
    if (pending_) {
        const Key key = *pending_;
        pending_.reset();
        if (auto queue = queue_.lock()) {
            queue->cancel(key);
        }
    }
}

QtMainLoop::QtMainLoop() : queue_(std::make_shared<Queue>()) {}

QtMainLoop::~QtMainLoop() = default;

double QtMainLoop::now() {
    return monotonicSeconds();
}

void QtMainLoop::dispatchAfter(double seconds, std::function<void()> work) {
    // The main queue is served in the common modes, menu open or not.
    queue_->add(now() + saneDelay(seconds),
                Queue::Entry{RunLoopMode::commonModes, std::move(work)});
}

void QtMainLoop::post(RunLoopMode mode, std::function<void()> work) {
    queue_->add(now(), Queue::Entry{mode, std::move(work)});
}

std::shared_ptr<Timer> QtMainLoop::scheduleRepeatingTimer(double interval, RunLoopMode mode,
                                                          std::function<void(Timer&)> tick) {
    auto timer = std::make_shared<RepeatingTimer>();
    timer->interval_ = std::isfinite(interval) && interval > 0 ? interval : 0.0001;
    timer->mode_ = mode;
    timer->tick_ = std::move(tick);
    timer->start_ = now();
    timer->queue_ = queue_;
    queue_->frameStarted(*timer);
    timer->pending_ =
        queue_->add(timer->start_ + timer->interval_, Queue::Entry{mode, {}, timer, 1});
    return timer;
}

void QtMainLoop::setMenuOpen(bool open) {
    queue_->menuOpen = open;
    if (!open) {
        queue_->release();
    }
}

bool QtMainLoop::menuOpen() const {
    return queue_->menuOpen;
}

void QtMainLoop::setFrameHooks(double maxInterval, std::function<void(bool)> running,
                               std::function<void()> beforeTick) {
    queue_->frameInterval = maxInterval;
    queue_->framesChanged = std::move(running);
    queue_->beforeFrame = std::move(beforeTick);
}

bool QtMainLoop::framesRunning() const {
    return queue_->frames > 0;
}

std::size_t QtMainLoop::scheduledCount() const {
    return queue_->entries.size() + queue_->held.size();
}

}  // namespace tallowmere::linux_qt
