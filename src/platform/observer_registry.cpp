// Registration and delivery of accessibility notifications.
#include "platform/observer_registry.h"

#include <algorithm>

namespace tallowmere {

ObserverRegistry::Observer::~Observer() {
    if (onRelease_) {
        onRelease_();
    }
}

std::shared_ptr<ObserverRegistry::Observer> ObserverRegistry::create(
    Pid pid, AXObserverCallback callback, std::function<void()> onRelease) {
    auto observer = std::make_shared<Observer>();
    observer->pid_ = pid;
    observer->callback_ = callback;
    observer->onRelease_ = std::move(onRelease);
    std::erase_if(observers_, [](const auto& weak) { return weak.expired(); });
    observers_.push_back(observer);
    return observer;
}

ObserverRegistry::Observer* ObserverRegistry::find(const AXObserver& observer) {
    return dynamic_cast<Observer*>(observer.get());
}

AXError ObserverRegistry::admissible(std::string_view notification, bool onApplication,
                                     bool windowExists) {
    if (onApplication) {
        const bool served = notification == "AXWindowCreated" ||
                            notification == "AXWindowMiniaturized" ||
                            notification == "AXWindowDeminiaturized";
        return served ? kAXErrorSuccess : kAXErrorNotificationUnsupported;
    }
    if (notification != "AXUIElementDestroyed") {
        return kAXErrorNotificationUnsupported;
    }
    return windowExists ? kAXErrorSuccess : kAXErrorInvalidUIElement;
}

AXError ObserverRegistry::add(const AXObserver& observer, const AXElement& element,
                              std::string_view notification, void* refcon) {
    Observer* state = find(observer);
    if (!state || !element) {
        return kAXErrorIllegalArgument;
    }
    for (const Registration& r : state->registrations_) {
        if (r.element == element && r.notification == notification) {
            return kAXErrorNotificationAlreadyRegistered;
        }
    }
    state->registrations_.push_back({element, std::string(notification), refcon});
    return kAXErrorSuccess;
}

AXError ObserverRegistry::remove(const AXObserver& observer, const AXElement& element,
                                 std::string_view notification) {
    Observer* state = find(observer);
    if (!state) {
        return kAXErrorIllegalArgument;
    }
    const auto removed = std::erase_if(state->registrations_, [&](const Registration& r) {
        return r.element == element && r.notification == notification;
    });
    return removed > 0 ? kAXErrorSuccess : kAXErrorNotificationNotRegistered;
}

void ObserverRegistry::attach(const AXObserver& observer, bool attached) {
    if (Observer* state = find(observer)) {
        state->attached_ = attached;
    }
}

std::vector<std::shared_ptr<ObserverRegistry::Observer>> ObserverRegistry::live(
    std::optional<Pid> pid) const {
    std::vector<std::shared_ptr<Observer>> result;
    for (const auto& weak : observers_) {
        if (auto observer = weak.lock(); observer && (!pid || observer->pid_ == *pid)) {
            result.push_back(std::move(observer));
        }
    }
    return result;
}

std::vector<ObserverRegistry::Target> ObserverRegistry::targets(
    std::optional<Pid> pid, std::string_view notification,
    const std::function<bool(const AXElement&)>& registeredOn) const {
    std::vector<Target> result;
    for (const auto& observer : live(pid)) {
        for (const Registration& r : observer->registrations_) {
            if (r.notification == notification && registeredOn(r.element)) {
                result.push_back({observer, r.element});
            }
        }
    }
    return result;
}

void ObserverRegistry::deliver(const Target& target, std::string_view notification,
                               const std::optional<AXElement>& subject) {
    auto observer = target.observer.lock();
    if (!observer || !observer->attached_) {
        return;
    }
    // Looked up again: a registration removed meanwhile delivers nothing.
    for (const Registration& r : observer->registrations_) {
        if (r.element == target.registeredOn && r.notification == notification) {
            // A copy: the callback may remove this very registration.
            const Registration found = r;
            observer->callback_(observer, subject ? *subject : found.element, notification,
                                found.refcon);
            return;
        }
    }
}

}  // namespace tallowmere
