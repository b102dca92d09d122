// A cancellable hold on a change stream: while it lives (and until cancel()), its receiver gets
// deliveries.
#pragma once

#include <functional>
#include <utility>

namespace tallowmere {

class Subscription {
  public:
    Subscription() = default;
    // `cancel` must be safe to call after the stream is gone; streams hand it over already so.
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}

    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    ~Subscription() { cancel(); }

    // Stops delivery at once, also to the rest of a delivery in progress. Idempotent.
    void cancel() {
        if (auto cancel = std::exchange(cancel_, {})) {
            cancel();
        }
    }
    bool active() const { return static_cast<bool>(cancel_); }

  private:
    std::function<void()> cancel_;
};

}  // namespace tallowmere
