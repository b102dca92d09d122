#include "platform/sim/sim_desktop.h"

#include <algorithm>

#include "platform/sim/sim_desktop_state.h"

namespace tallowmere::sim {

SimDesktop::SimDesktop(SimMainLoop& loop) : loop_(loop) {
    // One 1920×1080 screen with a 25-point menu bar, until a test says otherwise.
    screens_.push_back(Screen{{{0, 0}, {1920, 1080}}, {{0, 0}, {1920, 1055}}});
}

SimDesktop::~SimDesktop() = default;

Pid SimDesktop::allocatePid(Pid requested) {
    if (requested != 0) {
        nextPid_ = std::max(nextPid_, requested + 1);
        return requested;
    }
    return nextPid_++;
}

SimDesktop::AppState* SimDesktop::findApp(Pid pid) {
    for (auto& app : apps_) {
        if (app->running && app->application.processIdentifier == pid) {
            return app.get();
        }
    }
    return nullptr;
}

SimDesktop::WindowState* SimDesktop::findWindow(WindowId id) {
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : it->second.get();
}

const SimDesktop::WindowState* SimDesktop::findWindow(WindowId id) const {
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : it->second.get();
}

Pid SimDesktop::addRunningApplication(std::optional<std::string> bundleIdentifier, Pid pid) {
    auto app = std::make_unique<AppState>();
    app->application = RunningApplication{allocatePid(pid), std::move(bundleIdentifier)};
    const Pid result = app->application.processIdentifier;
    apps_.push_back(std::move(app));
    return result;
}

Pid SimDesktop::launchApplication(std::optional<std::string> bundleIdentifier, Pid pid) {
    const Pid result = addRunningApplication(std::move(bundleIdentifier), pid);
    announce(WorkspaceEvent::didLaunchApplication, findApp(result)->application);
    return result;
}

void SimDesktop::terminateApplication(Pid pid) {
    AppState* app = findApp(pid);
    if (!app) {
        return;
    }
    for (WindowId id : app->windows) {
        findWindow(id)->destroyed = true;
    }
    app->running = false;
    if (frontmost_ == pid) {
        frontmost_.reset();
    }
    announce(WorkspaceEvent::didTerminateApplication, app->application);
}

void SimDesktop::postMalformedLaunch() {
    announce(WorkspaceEvent::didLaunchApplication, std::nullopt);
}

void SimDesktop::postMalformedTerminate() {
    announce(WorkspaceEvent::didTerminateApplication, std::nullopt);
}

void SimDesktop::setFrontmostApplication(std::optional<Pid> pid) {
    frontmost_ = pid;
}

void SimDesktop::announce(WorkspaceEvent event, std::optional<RunningApplication> application) {
    // Handlers registered when the notice is delivered receive it, as with a notification centre.
    loop_.post(RunLoopMode::defaultMode, [this, alive = std::weak_ptr<bool>(alive_), event,
                                          application = std::move(application)] {
        if (alive.expired()) {
            return;
        }
        std::vector<std::shared_ptr<Handler>> handlers;
        for (const auto& registration : workspaceObservers_) {
            if (registration.event == event) {
                handlers.push_back(registration.handler);
            }
        }
        const WorkspaceNotification notification{application};
        for (const auto& handler : handlers) {
            (*handler)(notification);
        }
    });
}

WindowId SimDesktop::openWindow(Pid pid, const WindowSpec& props) {
    auto window = std::make_unique<WindowState>();
    window->id = nextWindow_++;
    window->pid = pid;
    window->props = props;
    const WindowId id = window->id;
    windows_.emplace(id, std::move(window));
    if (AppState* app = findApp(pid)) {
        app->windows.push_back(id);
        emit(pid, createApplication(pid), windowElement(id), "AXWindowCreated");
    }
    return id;
}

void SimDesktop::closeWindow(WindowId id, bool readableDuringNotification) {
    WindowState* window = findWindow(id);
    if (!window || window->destroyed) {
        return;
    }
    window->destroyed = true;
    window->readableWhileDestroyed = readableDuringNotification;
    const AXElement element = windowElement(id);
    emit(window->pid, element, element, "AXUIElementDestroyed");
    if (readableDuringNotification) {
        // Posted after the notifications, so it runs once they have been delivered.
        loop_.post(RunLoopMode::defaultMode, [this, alive = std::weak_ptr<bool>(alive_), id] {
            if (!alive.expired()) {
                findWindow(id)->readableWhileDestroyed = false;
            }
        });
    }
}

void SimDesktop::minimizeWindow(WindowId id) {
    WindowState* window = findWindow(id);
    if (!window || window->destroyed || window->props.minimized) {
        return;
    }
    window->props.minimized = true;
    emit(window->pid, createApplication(window->pid), windowElement(id), "AXWindowMiniaturized");
}

void SimDesktop::restoreWindow(WindowId id) {
    WindowState* window = findWindow(id);
    if (!window || window->destroyed || !window->props.minimized) {
        return;
    }
    window->props.minimized = false;
    emit(window->pid, createApplication(window->pid), windowElement(id), "AXWindowDeminiaturized");
}

void SimDesktop::dragWindow(WindowId id, Point position) {
    if (WindowState* window = findWindow(id)) {
        window->props.position = position;
    }
}

void SimDesktop::overrideAttribute(WindowId id, const std::string& attribute, AXReadResult result) {
    if (WindowState* window = findWindow(id)) {
        window->overrides[attribute] = std::move(result);
    }
}

void SimDesktop::overrideApplicationAttribute(Pid pid, const std::string& attribute,
                                              AXReadResult result) {
    if (AppState* app = findApp(pid)) {
        app->overrides[attribute] = std::move(result);
    }
}

void SimDesktop::clearOverrides(WindowId id) {
    if (WindowState* window = findWindow(id)) {
        window->overrides.clear();
    }
}

void SimDesktop::failPositionWrites(WindowId id, std::optional<AXError> error) {
    if (WindowState* window = findWindow(id)) {
        window->writeError = error;
    }
}

void SimDesktop::failObserverCreate(Pid pid, std::optional<AXError> error) {
    if (error) {
        failObserverCreate_[pid] = *error;
    } else {
        failObserverCreate_.erase(pid);
    }
}

void SimDesktop::failAddNotification(Pid pid, const std::string& notification,
                                     std::optional<AXError> error) {
    if (error) {
        failAddNotification_[{pid, notification}] = *error;
    } else {
        failAddNotification_.erase({pid, notification});
    }
}

void SimDesktop::setScreens(std::vector<Screen> screens) {
    screens_ = std::move(screens);
}

void SimDesktop::setMainScreenIndex(std::optional<std::size_t> index) {
    mainScreenIndex_ = index;
}

std::optional<Screen> SimDesktop::mainScreen() {
    if (!mainScreenIndex_ || *mainScreenIndex_ >= screens_.size()) {
        return std::nullopt;
    }
    return screens_[*mainScreenIndex_];
}

Point SimDesktop::positionOf(WindowId id) const {
    const WindowState* window = findWindow(id);
    return window ? window->props.position : Point{};
}

Size SimDesktop::sizeOf(WindowId id) const {
    const WindowState* window = findWindow(id);
    return window ? window->props.size : Size{};
}

bool SimDesktop::exists(WindowId id) const {
    const WindowState* window = findWindow(id);
    return window && !window->destroyed;
}

AXElement SimDesktop::windowElement(WindowId id) const {
    const WindowState* window = findWindow(id);
    return AXElement(
        std::make_shared<ElementRef>(ElementRef::Kind::window, window ? window->pid : 0, id));
}

std::optional<WindowId> SimDesktop::windowIdOf(const AXElement& element) const {
    const ElementRef* ref = refOf(element);
    if (!ref || ref->kind != ElementRef::Kind::window) {
        return std::nullopt;
    }
    return ref->window;
}

std::vector<RunningApplication> SimDesktop::runningApplications() {
    std::vector<RunningApplication> result;
    for (const auto& app : apps_) {
        if (app->running) {
            result.push_back(app->application);
        }
    }
    return result;
}

std::optional<RunningApplication> SimDesktop::frontmostApplication() {
    return frontmost_ ? runningApplication(*frontmost_) : std::nullopt;
}

std::optional<RunningApplication> SimDesktop::runningApplication(Pid pid) {
    const AppState* app = findApp(pid);
    return app ? std::optional(app->application) : std::nullopt;
}

void SimDesktop::addObserver(const void* observer, WorkspaceEvent event, Handler handler) {
    workspaceObservers_.push_back({observer, event, std::make_shared<Handler>(std::move(handler))});
}

void SimDesktop::removeObserver(const void* observer) {
    std::erase_if(workspaceObservers_, [observer](const auto& registration) {
        return registration.observer == observer;
    });
}

}  // namespace tallowmere::sim
