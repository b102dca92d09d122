// Registration handles over the accessibility port.
#include "platform/notification_registration.h"

#include <utility>

namespace tallowmere {

NotificationRegistration::NotificationRegistration(Accessibility& ax, const AXObserver& observer,
                                                   AXElement element, std::string_view notification,
                                                   void* refcon)
    : error_(ax.addNotification(observer, element, notification, refcon)) {
    if (error_ == kAXErrorSuccess) {
        ax_ = &ax;
        observer_ = observer;
        element_ = std::move(element);
        notification_ = notification;
    }
}

NotificationRegistration::NotificationRegistration(NotificationRegistration&& other) noexcept
    : ax_(std::exchange(other.ax_, nullptr)),
      observer_(std::move(other.observer_)),
      element_(std::move(other.element_)),
      notification_(std::move(other.notification_)),
      error_(other.error_) {}

NotificationRegistration& NotificationRegistration::operator=(
    NotificationRegistration&& other) noexcept {
    if (this != &other) {
        reset();
        ax_ = std::exchange(other.ax_, nullptr);
        observer_ = std::move(other.observer_);
        element_ = std::move(other.element_);
        notification_ = std::move(other.notification_);
        error_ = other.error_;
    }
    return *this;
}

void NotificationRegistration::reset() {
    Accessibility* ax = std::exchange(ax_, nullptr);
    if (auto observer = observer_.lock(); ax && observer) {
        ax->removeNotification(observer, element_, notification_);
    }
    observer_.reset();
    element_ = AXElement();
    notification_.clear();
}

}  // namespace tallowmere
