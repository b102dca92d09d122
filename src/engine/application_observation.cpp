// Which running applications the engine follows, one accessibility observer per followed process,
// and the routing of its notifications to the window handlers after a short delay.
#include <algorithm>
#include <set>

#include "engine/window_cascade_manager.h"
#include "settings/app_settings.h"

namespace tallowmere {
void WindowCascadeManager::startMonitoring() {
    if (!ports_.accessibility.isProcessTrusted()) {
        return;
    }
    reconcileObservations();
    // The workspace may deliver after the engine is gone; the handlers hold it weakly.
    std::weak_ptr<WindowCascadeManager> weak = weak_from_this();
    ports_.workspace.addObserver(this, WorkspaceEvent::didLaunchApplication,
                                 [weak](const WorkspaceNotification& notification) {
                                     if (auto self = weak.lock()) {
                                         self->handleAppLaunched(notification);
                                     }
                                 });
    ports_.workspace.addObserver(this, WorkspaceEvent::didTerminateApplication,
                                 [weak](const WorkspaceNotification& notification) {
                                     if (auto self = weak.lock()) {
                                         self->handleAppTerminated(notification);
                                     }
                                 });
}

void WindowCascadeManager::stopMonitoring() {
    ports_.workspace.removeObserver(this);
    for (auto& [pid, record] : observations) {
        tearDownObservation(record);
    }
    observations.clear();
    if (animationTimer) {
        animationTimer->invalidate();
        animationTimer.reset();
    }
}

void WindowCascadeManager::reconcileObservations() {
    if (!ports_.accessibility.isProcessTrusted()) {
        return;
    }
    const AppSettings& settings = ports_.settings;
    std::set<std::string> active(settings.monitoredBundleIdentifiers().begin(),
                                 settings.monitoredBundleIdentifiers().end());
    for (const std::string& paused : settings.pausedBundleIdentifiers()) {
        active.erase(paused);
    }
    const std::vector<RunningApplication> running = ports_.workspace.runningApplications();
    for (const RunningApplication& application : running) {
        if (!application.bundleIdentifier) {
            continue;
        }
        const Pid pid = application.processIdentifier;
        if (active.contains(*application.bundleIdentifier)) {
            startObserving(pid);
            continue;
        }
        auto node = observations.extract(pid);
        if (node) {
            tearDownObservation(node.mapped());
            forgetApplicationRects(pid);
        }
    }
}

void WindowCascadeManager::handleAppLaunched(const WorkspaceNotification& notification) {
    if (!notification.application || !notification.application->bundleIdentifier) {
        return;
    }
    if (!isActiveBundle(*notification.application->bundleIdentifier)) {
        return;
    }
    startObserving(notification.application->processIdentifier);
}

bool WindowCascadeManager::isActiveBundle(const std::string& bundleIdentifier) const {
    const AppSettings& settings = ports_.settings;
    const auto& monitored = settings.monitoredBundleIdentifiers();
    return std::find(monitored.begin(), monitored.end(), bundleIdentifier) != monitored.end() &&
           !settings.pausedBundleIdentifiers().contains(bundleIdentifier);
}

void WindowCascadeManager::handleAppTerminated(const WorkspaceNotification& notification) {
    if (!notification.application) {
        return;
    }
    const Pid pid = notification.application->processIdentifier;
    auto node = observations.extract(pid);
    if (!node) {
        return;
    }
    tearDownObservation(node.mapped());
    forgetApplicationRects(pid);
}

void WindowCascadeManager::startObserving(Pid pid) {
    if (observations.contains(pid)) {
        return;
    }
    Accessibility& ax = ports_.accessibility;
    AXElement axApp = ax.createApplication(pid);
    AXObserverCreateResult created =
        ax.createObserver(pid, &WindowCascadeManager::observerCallback);
    if (created.error != kAXErrorSuccess || !created.observer) {
        log(DiagLine() << "AXObserverCreate 失敗 pid=" << pid << ": " << created.error);
        return;
    }
    auto context = std::make_unique<ObserverContext>(ObserverContext{pid, this});
    void* refcon = context.get();
    NotificationRegistration windowCreated(ax, created.observer, axApp, "AXWindowCreated", refcon);
    if (!windowCreated) {
        log(DiagLine() << "AXObserverAddNotification 失敗 pid=" << pid << ": "
                       << windowCreated.error());
        return;
    }
    std::vector<NotificationRegistration> registrations;
    registrations.push_back(std::move(windowCreated));
    for (std::string_view name : {"AXWindowMiniaturized", "AXWindowDeminiaturized"}) {
        if (NotificationRegistration later(ax, created.observer, axApp, name, refcon); later) {
            registrations.push_back(std::move(later));
        }
    }
    ax.addRunLoopSource(created.observer);
    AppObservation& record = observations[pid];
    record.axApp = axApp;
    record.axObserver = created.observer;
    record.context = std::move(context);
    record.refcon = refcon;
    record.applicationRegistrations = std::move(registrations);
    log(DiagLine() << "監視開始 pid=" << pid);

    const auto windows = access_.readWindows(axApp);
    if (!windows) {
        return;
    }
    for (const AXElement& window : *windows) {
        if (access_.isStandardWindow(window, pid)) {
            subscribeWindowDestroyed(window, pid);
        }
    }
}

void WindowCascadeManager::tearDownObservation(AppObservation& record) {
    for (NotificationRegistration& registration : record.applicationRegistrations) {
        registration.reset();
    }
    record.applicationRegistrations.clear();
    // Detached before the context goes, so the callback can never see a released context.
    ports_.accessibility.removeRunLoopSource(record.axObserver);
    record.context.reset();
    record.refcon = nullptr;
    // The windows' registrations end with the observer, not one by one.
    record.axObserver.reset();
    record.windowRegistrations.clear();
    record.axApp = AXElement();
}

void WindowCascadeManager::observerCallback(const AXObserver&, const AXElement& element,
                                            std::string_view notification, void* refcon) {
    auto* context = static_cast<ObserverContext*>(refcon);
    if (!context || !context->manager) {
        return;
    }
    context->manager->handleAccessibilityNotification(element, notification, context);
}

void WindowCascadeManager::handleAccessibilityNotification(const AXElement& element,
                                                           std::string_view name,
                                                           ObserverContext* context) {
    if (!context) {
        return;
    }
    const Pid pid = context->pid;
    if (name == "AXWindowCreated" || name == "AXWindowDeminiaturized") {
        scheduleWindowCreated(element, pid);
        return;
    }
    if (name == "AXUIElementDestroyed" || name == "AXWindowMiniaturized") {
        // Read now: a closed window cannot be read 0.05 seconds later.
        const auto position = access_.readPosition(element);
        const auto size = access_.readSize(element);
        if (name == "AXUIElementDestroyed") {
            unsubscribeWindowDestroyed(element, pid);
        }
        ports_.loop.dispatchAfter(kNotificationDelay,
                                  [weak = weak_from_this(), element, pid, position, size] {
                                      if (auto self = weak.lock()) {
                                          self->handleWindowGone(element, pid, position, size);
                                      }
                                  });
    }
}

}  // namespace tallowmere
