// A value with a change stream that announces each assignment before the value takes it.
#pragma once

#include <functional>
#include <utility>

#include "settings/change_stream.h"

namespace tallowmere {

template <typename T>
class Published {
  public:
    explicit Published(T initial) : value_(std::move(initial)) {}

    const T& get() const { return value_; }

    // The receiver gets the current value at once (it is subscribed first, so a change it makes
    // from there reaches it too), then every later assignment.
    [[nodiscard]] Subscription subscribe(std::function<void(const T&)> receiver) {
        auto first = receiver;
        Subscription token = stream_.subscribe(std::move(receiver));
        // A copy: a receiver that assigns from here must not see its argument change under it.
        const T current = value_;
        first(current);
        return token;
    }

    // Receivers see `value` while the property still holds the previous one; equal values are
    // announced too.
    void assign(T value) {
        stream_.send(value);
        value_ = std::move(value);
    }

  private:
    T value_;
    ChangeStream<T> stream_;
};

}  // namespace tallowmere
