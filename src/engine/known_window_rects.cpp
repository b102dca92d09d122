// The engine's memory of each window's last rectangle, keyed by application, identified by
// element equality, kept in first-recorded order.
#include <algorithm>

#include "engine/window_cascade_manager.h"

namespace tallowmere {

void WindowCascadeManager::recordKnownRect(const AXElement& window, Pid pid, Point position,
                                           Size size) {
    auto& list = knownWindowRects[pid];
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const WindowSnapshot& entry) { return entry.window == window; });
    if (it != list.end()) {
        *it = WindowSnapshot{window, position, size};
    } else {
        list.push_back(WindowSnapshot{window, position, size});
    }
}

std::optional<Rect> WindowCascadeManager::lookupKnownRect(const AXElement& window, Pid pid) const {
    auto found = knownWindowRects.find(pid);
    if (found == knownWindowRects.end()) {
        return std::nullopt;
    }
    for (const WindowSnapshot& entry : found->second) {
        if (entry.window == window) {
            return Rect{entry.position, entry.size};
        }
    }
    return std::nullopt;
}

void WindowCascadeManager::forgetKnownRect(const AXElement& window, Pid pid) {
    auto found = knownWindowRects.find(pid);
    if (found == knownWindowRects.end()) {
        return;
    }
    std::erase_if(found->second,
                  [&](const WindowSnapshot& entry) { return entry.window == window; });
}

void WindowCascadeManager::forgetApplicationRects(Pid pid) {
    knownWindowRects.erase(pid);
}

void WindowCascadeManager::subscribeWindowDestroyed(const AXElement& window, Pid pid) {
    auto found = observations.find(pid);
    if (found == observations.end()) {
        return;
    }
    AppObservation& record = found->second;
    NotificationRegistration registration(ports_.accessibility, record.axObserver, window,
                                          "AXUIElementDestroyed", record.refcon);
    if (registration) {
        record.windowRegistrations.push_back(std::move(registration));
    }
}

void WindowCascadeManager::unsubscribeWindowDestroyed(const AXElement& window, Pid pid) {
    auto found = observations.find(pid);
    if (found == observations.end()) {
        return;
    }
    std::erase_if(found->second.windowRegistrations,
                  [&](const NotificationRegistration& r) { return r.element() == window; });
}

}  // namespace tallowmere
