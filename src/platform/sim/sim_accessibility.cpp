// The simulated desktop's accessibility side: attribute reads and writes, observers and the
// delivery of their notifications.
#include <algorithm>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_desktop_state.h"

namespace tallowmere::sim {
namespace {

AXReadResult success(AXAttributeValue value) {
    return AXReadResult{kAXErrorSuccess, std::move(value)};
}

AXReadResult failure(AXError error) {
    return AXReadResult{error, std::nullopt};
}

}  // namespace

const SimDesktop::ElementRef* SimDesktop::refOf(const AXElement& element) const {
    return dynamic_cast<const ElementRef*>(element.get());
}

ObserverRegistry::Observer* SimDesktop::stateOf(const AXObserver& observer) const {
    return ObserverRegistry::find(observer);
}

std::string SimDesktop::describe(const AXElement& element) const {
    const ElementRef* ref = refOf(element);
    if (!ref) {
        return "";
    }
    return ref->kind == ElementRef::Kind::application ? "app"
                                                      : "window " + std::to_string(ref->window);
}

AXElement SimDesktop::createApplication(Pid pid) {
    return AXElement(std::make_shared<ElementRef>(ElementRef::Kind::application, pid, 0));
}

AXReadResult SimDesktop::readWindow(const WindowState& window, std::string_view attribute) const {
    if (window.destroyed && !window.readableWhileDestroyed) {
        return failure(kAXErrorInvalidUIElement);
    }
    if (auto it = window.overrides.find(attribute); it != window.overrides.end()) {
        return it->second;
    }
    const WindowSpec& props = window.props;
    if (attribute == "AXMinimized") {
        return success(props.minimized);
    }
    if (attribute == "AXPosition") {
        return success(AXValue{AXValueType::cgPoint, props.position.x, props.position.y});
    }
    if (attribute == "AXSize") {
        return success(AXValue{AXValueType::cgSize, props.size.width, props.size.height});
    }
    if (attribute == "AXSubrole") {
        return props.subrole ? success(*props.subrole) : failure(kAXErrorNoValue);
    }
    if (attribute == "AXIdentifier") {
        return props.identifier ? success(*props.identifier) : failure(kAXErrorNoValue);
    }
    return failure(kAXErrorAttributeUnsupported);
}

AXReadResult SimDesktop::copyAttributeValue(const AXElement& element, std::string_view attribute) {
    const ElementRef* ref = refOf(element);
    if (!ref) {
        return failure(kAXErrorIllegalArgument);
    }
    if (ref->kind == ElementRef::Kind::window) {
        const WindowState* window = findWindow(ref->window);
        return window ? readWindow(*window, attribute) : failure(kAXErrorInvalidUIElement);
    }
    AppState* app = findApp(ref->pid);
    if (!app) {
        return failure(kAXErrorCannotComplete);
    }
    if (auto it = app->overrides.find(attribute); it != app->overrides.end()) {
        return it->second;
    }
    if (attribute != "AXWindows") {
        return failure(kAXErrorAttributeUnsupported);
    }
    std::vector<AXElement> list;
    for (WindowId id : app->windows) {
        if (!findWindow(id)->destroyed) {
            list.push_back(windowElement(id));
        }
    }
    return success(std::move(list));
}

AXError SimDesktop::setAttributeValue(const AXElement& element, std::string_view attribute,
                                      const AXValue& value) {
    const ElementRef* ref = refOf(element);
    WindowState* window =
        ref && ref->kind == ElementRef::Kind::window ? findWindow(ref->window) : nullptr;
    AXError result = kAXErrorSuccess;
    if (!window || window->destroyed) {
        result = kAXErrorInvalidUIElement;
    } else if (attribute != "AXPosition" || value.type != AXValueType::cgPoint) {
        result = kAXErrorIllegalArgument;
    } else if (window->writeError) {
        result = *window->writeError;
    } else {
        window->props.position = Point{value.first, value.second};
    }
    if (recordWrites_) {
        writes_.push_back(PositionWrite{loop_.now(), ref ? ref->window : 0,
                                        Point{value.first, value.second}, result});
    }
    return result;
}

AXObserverCreateResult SimDesktop::createObserver(Pid pid, AXObserverCallback callback) {
    if (auto it = failObserverCreate_.find(pid); it != failObserverCreate_.end()) {
        return AXObserverCreateResult{it->second, nullptr};
    }
    auto observer =
        observers_.create(pid, callback, [this, alive = std::weak_ptr<bool>(alive_), pid] {
            if (!alive.expired()) {
                observerOps_.push_back({"release", pid, "", ""});
            }
        });
    observerOps_.push_back({"create", pid, "", ""});
    return AXObserverCreateResult{kAXErrorSuccess, observer};
}

AXError SimDesktop::addNotification(const AXObserver& observer, const AXElement& element,
                                    std::string_view notification, void* refcon) {
    auto* state = stateOf(observer);
    if (!state) {
        return kAXErrorIllegalArgument;
    }
    observerOps_.push_back({"add", state->pid(), describe(element), std::string(notification)});
    if (auto it = failAddNotification_.find({state->pid(), std::string(notification)});
        it != failAddNotification_.end()) {
        return it->second;
    }
    return observers_.add(observer, element, notification, refcon);
}

AXError SimDesktop::removeNotification(const AXObserver& observer, const AXElement& element,
                                       std::string_view notification) {
    auto* state = stateOf(observer);
    if (!state) {
        return kAXErrorIllegalArgument;
    }
    observerOps_.push_back({"remove", state->pid(), describe(element), std::string(notification)});
    return observers_.remove(observer, element, notification);
}

void SimDesktop::addRunLoopSource(const AXObserver& observer) {
    if (auto* state = stateOf(observer)) {
        observers_.attach(observer, true);
        observerOps_.push_back({"attach", state->pid(), "", ""});
    }
}

void SimDesktop::removeRunLoopSource(const AXObserver& observer) {
    if (auto* state = stateOf(observer)) {
        observers_.attach(observer, false);
        observerOps_.push_back({"detach", state->pid(), "", ""});
    }
}

void SimDesktop::emit(Pid pid, const AXElement& target, const AXElement& subject,
                      const std::string& notification) {
    // Registration and attachment are checked again at delivery: a source detached, or a
    // registration removed, in the meantime delivers nothing.
    for (auto& found :
         observers_.targets(pid, notification, [&](const AXElement& on) { return on == target; })) {
        loop_.post(RunLoopMode::defaultMode, [found, subject, notification] {
            ObserverRegistry::deliver(found, notification, subject);
        });
    }
}

std::size_t SimDesktop::liveObserverCount(Pid pid) const {
    return observers_.live(pid).size();
}

std::vector<Registration> SimDesktop::registrations(Pid pid) const {
    std::vector<Registration> result;
    for (const auto& observer : observers_.live(pid)) {
        for (const auto& entry : observer->registrations()) {
            result.push_back({describe(entry.element), entry.notification});
        }
    }
    return result;
}

bool SimDesktop::observerAttached(Pid pid) const {
    const auto observers = observers_.live(pid);
    return std::any_of(observers.begin(), observers.end(),
                       [](const auto& observer) { return observer->attached(); });
}

}  // namespace tallowmere::sim
