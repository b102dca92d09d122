// Elements, attribute reads, the position write, observers, workspace notices and screens over the
// script's reports.
#include "platform/linux/kwin/kwin_desktop.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace tallowmere::kwin {
namespace {

AXReadResult success(AXAttributeValue value) {
    return AXReadResult{kAXErrorSuccess, std::move(value)};
}
AXReadResult failure(AXError error) {
    return AXReadResult{error, std::nullopt};
}

std::optional<std::string> identifier(const std::string& resourceClass) {
    return resourceClass.empty() ? std::nullopt : std::optional<std::string>(resourceClass);
}

}  // namespace

struct KWinDesktop::ElementRef final : AXElementRef {
    enum class Kind { application, window };
    ElementRef(Kind k, Pid g, std::string w) : kind(k), group(g), window(std::move(w)) {}
    bool equals(const AXElementRef& other) const override {
        const auto* o = dynamic_cast<const ElementRef*>(&other);
        if (!o || o->kind != kind) {
            return false;
        }
        return kind == Kind::application ? o->group == group : o->window == window;
    }
    Kind kind;
    Pid group;           // application elements
    std::string window;  // window elements: KWin's id, never reused
};

KWinDesktop::KWinDesktop(Post post, Pid ownPid) : post_(std::move(post)), ownPid_(ownPid) {}

KWinDesktop::~KWinDesktop() = default;

void KWinDesktop::post(RunLoopMode mode, std::function<void()> work) {
    std::weak_ptr<bool> alive = alive_;
    post_(mode, [alive, work = std::move(work)] {
        if (alive.lock()) {
            work();
        }
    });
}

// ---- the script's reports ----

void KWinDesktop::snapshot(Snapshot snapshot) {
    // Windows that were there before we listened are not news; after that, a snapshot (a new
    // desktop, new screens) tells what changed.
    const bool announce = connected_;
    connected_ = true;
    screens_ = std::move(snapshot.screens);
    active_ = snapshot.active;
    std::set<std::string> present;
    for (ReportedWindow& window : snapshot.windows) {
        present.insert(window.id);
        upsert(std::move(window), announce);
    }
    std::vector<std::string> gone;
    for (const auto& [id, window] : windows_) {
        if (!present.count(id)) {
            gone.push_back(id);
        }
    }
    for (const std::string& id : gone) {
        remove(id, announce);
    }
}

void KWinDesktop::windowChanged(ReportedWindow window) {
    if (connected_) {
        upsert(std::move(window), true);
    }
}

void KWinDesktop::windowRemoved(const std::string& id) {
    remove(id, true);
}

void KWinDesktop::activeChanged(const std::string& id) {
    active_ = id;
}

KWinDesktop::Group* KWinDesktop::groupOf(const std::string& resourceClass) {
    auto it = groups_.find(resourceClass);
    return it == groups_.end() ? nullptr : &it->second;
}

void KWinDesktop::upsert(ReportedWindow reported, bool announce) {
    auto it = windows_.find(reported.id);
    if (it == windows_.end()) {
        Window window{reported, nextSerial_++, reported.pid && *reported.pid == ownPid_};
        const std::string id = reported.id;
        const std::string resourceClass = reported.resourceClass;
        windows_.emplace(id, std::move(window));
        if (windows_.at(id).own) {
            return;
        }
        Group* group = groupOf(resourceClass);
        if (!group) {
            group = &groups_[resourceClass];
            group->id = nextGroup_++;
            group->resourceClass = resourceClass;
            // The launch goes out before the window's "created", as on the other desktops.
            if (announce) {
                notifyWorkspace(WorkspaceEvent::didLaunchApplication,
                                {group->id, identifier(resourceClass)});
            }
        }
        ++group->windows;
        if (announce) {
            const Pid groupId = group->id;
            post(RunLoopMode::defaultMode, [this, groupId, id] {
                AXElement element(
                    std::make_shared<ElementRef>(ElementRef::Kind::window, groupId, id));
                deliver("AXWindowCreated", element, [groupId](const ElementRef& ref) {
                    return ref.kind == ElementRef::Kind::application && ref.group == groupId;
                });
            });
        }
        return;
    }
    Window& window = it->second;
    const bool wasMinimized = window.reported.minimized;
    // A window does not change class or process; keep the ones it came with.
    reported.resourceClass = window.reported.resourceClass;
    reported.pid = window.reported.pid;
    window.reported = std::move(reported);
    if (window.own || !announce || wasMinimized == window.reported.minimized) {
        return;
    }
    const Group* group = groupOf(window.reported.resourceClass);
    if (!group) {
        return;
    }
    const char* name =
        window.reported.minimized ? "AXWindowMiniaturized" : "AXWindowDeminiaturized";
    post(RunLoopMode::defaultMode, [this, name, groupId = group->id, id = window.reported.id] {
        AXElement element(std::make_shared<ElementRef>(ElementRef::Kind::window, groupId, id));
        deliver(name, element, [groupId](const ElementRef& ref) {
            return ref.kind == ElementRef::Kind::application && ref.group == groupId;
        });
    });
}

void KWinDesktop::remove(const std::string& id, bool announce) {
    auto it = windows_.find(id);
    if (it == windows_.end()) {
        return;
    }
    const Window window = it->second;
    windows_.erase(it);
    moves_.forget(id);
    if (window.own) {
        return;
    }
    if (announce) {
        post(RunLoopMode::defaultMode, [this, id] {
            deliver("AXUIElementDestroyed", std::nullopt, [&id](const ElementRef& ref) {
                return ref.kind == ElementRef::Kind::window && ref.window == id;
            });
        });
    }
    Group* group = groupOf(window.reported.resourceClass);
    if (group && --group->windows == 0) {
        // Wayland gives no process of a client whose windows are all gone to watch: the
        // application ends with its last window.
        const RunningApplication ended{group->id, identifier(group->resourceClass)};
        groups_.erase(window.reported.resourceClass);
        notifyWorkspace(WorkspaceEvent::didTerminateApplication, ended);
    }
}

void KWinDesktop::notifyWorkspace(WorkspaceEvent event, RunningApplication application) {
    post(RunLoopMode::commonModes, [this, event, application] {
        // Handlers registered when the notice is delivered hear it; a copy, because a handler may
        // remove registrations.
        std::vector<std::shared_ptr<Handler>> handlers;
        for (const auto& registration : workspaceRegistrations_) {
            if (registration.event == event) {
                handlers.push_back(registration.handler);
            }
        }
        for (const auto& handler : handlers) {
            (*handler)(WorkspaceNotification{application});
        }
    });
}

// Observers are looked up when the notice is delivered, not when it happened, so that the
// observer made for a just-launched application hears its first window.
void KWinDesktop::deliver(std::string_view name, const std::optional<AXElement>& element,
                          const std::function<bool(const ElementRef&)>& registeredOn) {
    const auto targets = observers_.targets(std::nullopt, name, [&](const AXElement& on) {
        const auto* ref = dynamic_cast<const ElementRef*>(on.get());
        return ref && registeredOn(*ref);
    });
    for (const auto& target : targets) {
        ObserverRegistry::deliver(target, name, element);
    }
}

std::vector<RunningWindow> KWinDesktop::runningWindows() const {
    std::vector<RunningWindow> result;
    for (const auto& [id, window] : windows_) {
        if (!window.own) {
            result.push_back(
                {window.reported.resourceClass, window.reported.pid, !window.reported.panel});
        }
    }
    return result;
}

std::optional<ReportedWindow> KWinDesktop::reportedWindowOf(const AXElement& element) const {
    const auto* ref = dynamic_cast<const ElementRef*>(element.get());
    const Window* window = ref ? windowOf(*ref) : nullptr;
    return window ? std::optional<ReportedWindow>(window->reported) : std::nullopt;
}

// ---- accessibility ----

AXElement KWinDesktop::createApplication(Pid pid) {
    return AXElement(std::make_shared<ElementRef>(ElementRef::Kind::application, pid, ""));
}

const KWinDesktop::Window* KWinDesktop::windowOf(const ElementRef& ref) const {
    auto it = windows_.find(ref.window);
    return it == windows_.end() ? nullptr : &it->second;
}

AXReadResult KWinDesktop::copyAttributeValue(const AXElement& element, std::string_view attribute) {
    const auto* ref = dynamic_cast<const ElementRef*>(element.get());
    if (!ref) {
        return failure(kAXErrorIllegalArgument);
    }
    if (ref->kind == ElementRef::Kind::application) {
        auto group = std::find_if(groups_.begin(), groups_.end(),
                                  [&](const auto& g) { return g.second.id == ref->group; });
        if (group == groups_.end()) {
            return failure(kAXErrorInvalidUIElement);
        }
        if (attribute != "AXWindows") {
            return failure(kAXErrorAttributeUnsupported);
        }
        std::vector<const Window*> mine;
        for (const auto& [id, window] : windows_) {
            if (!window.own && window.reported.resourceClass == group->first &&
                window.reported.onCurrentDesktop) {
                mine.push_back(&window);
            }
        }
        std::sort(mine.begin(), mine.end(),
                  [](const Window* a, const Window* b) { return a->serial < b->serial; });
        std::vector<AXElement> result;
        for (const Window* window : mine) {
            result.push_back(AXElement(std::make_shared<ElementRef>(
                ElementRef::Kind::window, ref->group, window->reported.id)));
        }
        return success(std::move(result));
    }
    const Window* window = windowOf(*ref);
    if (!window) {
        return failure(kAXErrorInvalidUIElement);
    }
    const ReportedWindow& w = window->reported;
    if (attribute == "AXPosition") {
        return success(AXValue{AXValueType::cgPoint, double(w.frame.x), double(w.frame.y)});
    }
    if (attribute == "AXSize") {
        return success(AXValue{AXValueType::cgSize, double(w.frame.width), double(w.frame.height)});
    }
    if (attribute == "AXMinimized") {
        return success(w.minimized);
    }
    if (attribute == "AXSubrole") {
        if (w.dialog) {
            return success(std::string("AXDialog"));
        }
        return success(std::string(w.normal && !w.transient ? "AXStandardWindow" : "AXUnknown"));
    }
    if (attribute == "AXIdentifier") {
        return failure(kAXErrorNoValue);
    }
    return failure(kAXErrorAttributeUnsupported);
}

AXError KWinDesktop::setAttributeValue(const AXElement& element, std::string_view attribute,
                                       const AXValue& value) {
    const auto* ref = dynamic_cast<const ElementRef*>(element.get());
    if (!ref || ref->kind != ElementRef::Kind::window || attribute != "AXPosition" ||
        value.type != AXValueType::cgPoint || !std::isfinite(value.first) ||
        !std::isfinite(value.second)) {
        return kAXErrorIllegalArgument;
    }
    const Window* window = windowOf(*ref);
    if (!window) {
        return kAXErrorInvalidUIElement;
    }
    auto toCoordinate = [](double v) {
        return static_cast<int>(std::clamp(std::lround(v), -(1L << 24), 1L << 24));
    };
    const FrameRect& at = window->reported.frame;
    moves_.request(window->reported.id, toCoordinate(value.first), toCoordinate(value.second), at.x,
                   at.y);
    if (moves_.pending() && moveRequested_) {
        moveRequested_();
    }
    return kAXErrorSuccess;
}

AXObserverCreateResult KWinDesktop::createObserver(Pid pid, AXObserverCallback callback) {
    const bool known = std::any_of(groups_.begin(), groups_.end(),
                                   [pid](const auto& g) { return g.second.id == pid; });
    if (!known || !callback) {
        return {kAXErrorInvalidUIElement, nullptr};
    }
    return {kAXErrorSuccess, observers_.create(pid, callback)};
}

AXError KWinDesktop::addNotification(const AXObserver& observer, const AXElement& element,
                                     std::string_view notification, void* refcon) {
    const auto* ref = dynamic_cast<const ElementRef*>(element.get());
    if (!ObserverRegistry::find(observer) || !ref) {
        return kAXErrorIllegalArgument;
    }
    const bool onApplication = ref->kind == ElementRef::Kind::application;
    const AXError admitted =
        ObserverRegistry::admissible(notification, onApplication, !onApplication && windowOf(*ref));
    if (admitted != kAXErrorSuccess) {
        return admitted;
    }
    return observers_.add(observer, element, notification, refcon);
}

AXError KWinDesktop::removeNotification(const AXObserver& observer, const AXElement& element,
                                        std::string_view notification) {
    return observers_.remove(observer, element, notification);
}

void KWinDesktop::addRunLoopSource(const AXObserver& observer) {
    observers_.attach(observer, true);
}

void KWinDesktop::removeRunLoopSource(const AXObserver& observer) {
    observers_.attach(observer, false);
}

// ---- workspace ----

std::vector<RunningApplication> KWinDesktop::runningApplications() {
    std::vector<RunningApplication> result;
    for (const auto& [resourceClass, group] : groups_) {
        result.push_back({group.id, identifier(resourceClass)});
    }
    std::sort(result.begin(), result.end(), [](const auto& a, const auto& b) {
        return a.processIdentifier < b.processIdentifier;  // launch order
    });
    return result;
}

std::optional<RunningApplication> KWinDesktop::frontmostApplication() {
    auto it = windows_.find(active_);
    if (it == windows_.end() || it->second.own) {
        return std::nullopt;
    }
    const Group* group = groupOf(it->second.reported.resourceClass);
    if (!group) {
        return std::nullopt;
    }
    return RunningApplication{group->id, identifier(group->resourceClass)};
}

std::optional<RunningApplication> KWinDesktop::runningApplication(Pid pid) {
    for (const auto& [resourceClass, group] : groups_) {
        if (group.id == pid) {
            return RunningApplication{group.id, identifier(resourceClass)};
        }
    }
    return std::nullopt;
}

void KWinDesktop::addObserver(const void* observer, WorkspaceEvent event, Handler handler) {
    workspaceRegistrations_.push_back(
        {observer, event, std::make_shared<Handler>(std::move(handler))});
}

void KWinDesktop::removeObserver(const void* observer) {
    workspaceRegistrations_.erase(
        std::remove_if(workspaceRegistrations_.begin(), workspaceRegistrations_.end(),
                       [&](const WorkspaceRegistration& r) { return r.key == observer; }),
        workspaceRegistrations_.end());
}

// ---- screens: KWin's y grows down from the top of the first screen; the core's grows up from
// the bottom of the primary's frame, so that its conversion back gives compositor coordinates ----

std::vector<Screen> KWinDesktop::screens() {
    std::vector<Screen> result;
    if (screens_.empty()) {
        return result;
    }
    const double h = screens_.front().frame.height;
    auto convert = [h](const FrameRect& r) {
        return Rect{{double(r.x), h - r.y - r.height}, {double(r.width), double(r.height)}};
    };
    for (const ReportedScreen& s : screens_) {
        result.push_back({convert(s.frame), convert(s.workArea)});
    }
    return result;
}

std::optional<Screen> KWinDesktop::mainScreen() {
    const std::vector<Screen> all = screens();
    if (all.empty()) {
        return std::nullopt;
    }
    // The screen that holds the active window, as the key window's screen elsewhere.
    auto it = windows_.find(active_);
    if (it != windows_.end()) {
        const FrameRect& f = it->second.reported.frame;
        const int cx = f.x + f.width / 2;
        const int cy = f.y + f.height / 2;
        for (std::size_t i = 0; i < screens_.size(); ++i) {
            const FrameRect& m = screens_[i].frame;
            if (cx >= m.x && cx < m.x + m.width && cy >= m.y && cy < m.y + m.height) {
                return all[i];
            }
        }
    }
    return all.front();
}

}  // namespace tallowmere::kwin
