// One notification registration on an observer, removed when the handle goes, so that it cannot
// outlive what holds it. A registration ends with its observer too: a handle whose observer is
// gone has nothing left to remove.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/accessibility.h"

namespace tallowmere {

class NotificationRegistration {
  public:
    NotificationRegistration() = default;
    // Registers at once; the handle owns the registration only when the port accepted it (a
    // registration refused as already made belongs to whoever made it first).
    NotificationRegistration(Accessibility& ax, const AXObserver& observer, AXElement element,
                             std::string_view notification, void* refcon);
    ~NotificationRegistration() { reset(); }

    NotificationRegistration(NotificationRegistration&& other) noexcept;
    NotificationRegistration& operator=(NotificationRegistration&& other) noexcept;
    NotificationRegistration(const NotificationRegistration&) = delete;
    NotificationRegistration& operator=(const NotificationRegistration&) = delete;

    AXError error() const { return error_; }
    explicit operator bool() const { return ax_ != nullptr; }
    const AXElement& element() const { return element_; }

    void reset();

  private:
    Accessibility* ax_ = nullptr;  // null when nothing is owned
    std::weak_ptr<AXObserverRef> observer_;
    AXElement element_;
    std::string notification_;
    AXError error_ = kAXErrorSuccess;
};

}  // namespace tallowmere
