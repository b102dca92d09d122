// Elements, attribute reads, the position write, observers and workspace notices on X11.
#include "platform/linux/x11/x11_desktop.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace tallowmere::x11 {
namespace {

// A re-adopting window manager gets this long to bring every window back.
constexpr double kAdoptionGrace = 3.0;

AXReadResult success(AXAttributeValue value) {
    return AXReadResult{kAXErrorSuccess, std::move(value)};
}
AXReadResult failure(AXError error) {
    return AXReadResult{error, std::nullopt};
}

}  // namespace

struct X11Desktop::ElementRef final : AXElementRef {
    enum class Kind { application, window };
    ElementRef(Kind k, Pid g, std::uint64_t s, xcb_window_t c)
        : kind(k), group(g), serial(s), client(c) {}
    bool equals(const AXElementRef& other) const override {
        const auto* o = dynamic_cast<const ElementRef*>(&other);
        if (!o || o->kind != kind) {
            return false;
        }
        return kind == Kind::application ? o->group == group : o->serial == serial;
    }
    Kind kind;
    Pid group;             // application elements
    std::uint64_t serial;  // window elements: the client's life, not its reusable id
    xcb_window_t client;
};

X11Desktop::X11Desktop(X11Connection& x, MainLoop& loop, Post post,
                       ApplicationGroups::WatchFd watchFd)
    : x_(x),
      loop_(loop),
      post_(std::move(post)),
      mirror_(x, [&loop](std::function<void()> work) { loop.dispatchAfter(0, std::move(work)); }),
      groups_(std::move(watchFd), *this),
      mover_(
          x, [&loop] { return loop.now(); },
          [&loop](double seconds, std::function<void()> work) {
              loop.dispatchAfter(seconds, std::move(work));
          }) {}

X11Desktop::~X11Desktop() = default;

void X11Desktop::start() {
    mirror_.start(this);
    for (const MirroredWindow* window : mirror_.windowsInOrder()) {
        groups_.windowListed(*window, false);
    }
}

std::vector<std::string> X11Desktop::runningClasses() const {
    std::set<std::string> classes;
    for (const AppGroup* group : groups_.inLaunchOrder()) {
        if (!group->wmClass.empty()) {
            classes.insert(group->wmClass);
        }
    }
    return {classes.begin(), classes.end()};
}

// ---- mirror and group notices ----

void X11Desktop::windowListed(const MirroredWindow& window) {
    if (window.ownProcess) {
        return;
    }
    groups_.windowListed(window, true);  // the launch notice goes out before "created"
    std::weak_ptr<bool> alive = alive_;
    post_(RunLoopMode::defaultMode,
          [this, alive, wmClass = window.wmClass, serial = window.serial, client = window.client] {
              if (alive.lock()) {
                  deliverToApplication(wmClass, serial, client, "AXWindowCreated");
              }
          });
}

void X11Desktop::windowUnlisted(const MirroredWindow& window) {
    mover_.forget(window.client);
    if (window.ownProcess) {
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    post_(RunLoopMode::defaultMode, [this, alive, serial = window.serial] {
        if (alive.lock()) {
            deliverToWindow(serial, "AXUIElementDestroyed");
        }
    });
    groups_.windowUnlisted(window);
}

void X11Desktop::hiddenChanged(const MirroredWindow& window) {
    if (window.ownProcess) {
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    const char* name = window.hidden ? "AXWindowMiniaturized" : "AXWindowDeminiaturized";
    post_(RunLoopMode::defaultMode, [this, alive, name, wmClass = window.wmClass,
                                     serial = window.serial, client = window.client] {
        if (alive.lock()) {
            deliverToApplication(wmClass, serial, client, name);
        }
    });
}

void X11Desktop::windowManagerChanged(bool running) {
    if (running && mirror_.adopting()) {
        std::weak_ptr<bool> alive = alive_;
        loop_.dispatchAfter(kAdoptionGrace, [this, alive] {
            if (alive.lock()) {
                mirror_.endAdoption();
            }
        });
    }
}

void X11Desktop::groupLaunched(const AppGroup& group) {
    notifyWorkspace(WorkspaceEvent::didLaunchApplication,
                    {group.id, group.wmClass.empty() ? std::nullopt
                                                     : std::optional<std::string>(group.wmClass)});
}

void X11Desktop::groupTerminated(Pid id, const std::string& wmClass) {
    notifyWorkspace(WorkspaceEvent::didTerminateApplication,
                    {id, wmClass.empty() ? std::nullopt : std::optional<std::string>(wmClass)});
}

void X11Desktop::notifyWorkspace(WorkspaceEvent event, RunningApplication application) {
    std::weak_ptr<bool> alive = alive_;
    post_(RunLoopMode::commonModes, [this, alive, event, application] {
        if (!alive.lock()) {
            return;
        }
        // Handlers registered when the notice is delivered hear it, as with a notification
        // centre; a copy, because a handler may remove registrations.
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

// ---- deliveries: observers are looked up when the notice is delivered, not when it happened,
// so the observer made for a just-launched application hears its first window ----

void X11Desktop::deliverToApplication(const std::string& wmClass, std::uint64_t serial,
                                      xcb_window_t client, std::string_view name) {
    const AppGroup* group = groups_.byClass(wmClass);
    if (!group) {
        return;
    }
    const Pid id = group->id;
    AXElement element(std::make_shared<ElementRef>(ElementRef::Kind::window, id, serial, client));
    deliver(name, element, [id](const ElementRef& ref) {
        return ref.kind == ElementRef::Kind::application && ref.group == id;
    });
}

void X11Desktop::deliverToWindow(std::uint64_t serial, std::string_view name) {
    deliver(name, std::nullopt, [serial](const ElementRef& ref) {
        return ref.kind == ElementRef::Kind::window && ref.serial == serial;
    });
}

void X11Desktop::deliver(std::string_view name, const std::optional<AXElement>& element,
                         const std::function<bool(const ElementRef&)>& registeredOn) {
    // Collected first: a callback may add or remove registrations, or detach an observer.
    const auto targets = observers_.targets(std::nullopt, name, [&](const AXElement& on) {
        const auto* ref = dynamic_cast<const ElementRef*>(on.get());
        return ref && registeredOn(*ref);
    });
    for (const auto& target : targets) {
        ObserverRegistry::deliver(target, name, element);
    }
}

// ---- accessibility ----

bool X11Desktop::isProcessTrusted() {
    return mirror_.windowManagerRunning();
}

AXElement X11Desktop::createApplication(Pid pid) {
    return AXElement(std::make_shared<ElementRef>(ElementRef::Kind::application, pid, 0, 0));
}

const MirroredWindow* X11Desktop::windowOf(const ElementRef& ref) const {
    const MirroredWindow* window = mirror_.find(ref.client);
    if (!window || window->serial != ref.serial || !window->listed) {
        return nullptr;  // closed, or a new window that reuses the id
    }
    return window;
}

AXElement X11Desktop::windowElement(const MirroredWindow& window) const {
    const AppGroup* group = groups_.byClass(window.wmClass);
    return AXElement(std::make_shared<ElementRef>(ElementRef::Kind::window, group ? group->id : 0,
                                                  window.serial, window.client));
}

AXReadResult X11Desktop::copyAttributeValue(const AXElement& element, std::string_view attribute) {
    const auto* ref = dynamic_cast<const ElementRef*>(element.get());
    if (!ref) {
        return failure(kAXErrorIllegalArgument);
    }
    if (ref->kind == ElementRef::Kind::application) {
        const AppGroup* group = groups_.byId(ref->group);
        if (!group) {
            return failure(kAXErrorInvalidUIElement);
        }
        if (attribute != "AXWindows") {
            return failure(kAXErrorAttributeUnsupported);
        }
        std::vector<AXElement> windows;
        for (const MirroredWindow* window : mirror_.windowsInOrder()) {
            if (window->wmClass == group->wmClass && !window->ownProcess &&
                mirror_.onCurrentDesktop(*window)) {
                windows.push_back(AXElement(std::make_shared<ElementRef>(
                    ElementRef::Kind::window, group->id, window->serial, window->client)));
            }
        }
        return success(std::move(windows));
    }
    const MirroredWindow* window = windowOf(*ref);
    if (!window) {
        return failure(kAXErrorInvalidUIElement);
    }
    if (attribute == "AXPosition") {
        return success(AXValue{AXValueType::cgPoint, window->position().x, window->position().y});
    }
    if (attribute == "AXSize") {
        return success(AXValue{AXValueType::cgSize, window->size().width, window->size().height});
    }
    if (attribute == "AXMinimized") {
        return success(window->hidden);
    }
    if (attribute == "AXSubrole") {
        const xcb_ewmh_connection_t* ewmh = x_.ewmh();
        if (window->types.empty()) {
            return success(std::string(window->transient ? "AXDialog" : "AXStandardWindow"));
        }
        const xcb_atom_t type = window->types.front();
        if (type == ewmh->_NET_WM_WINDOW_TYPE_NORMAL) {
            return success(std::string("AXStandardWindow"));
        }
        if (type == ewmh->_NET_WM_WINDOW_TYPE_DIALOG) {
            return success(std::string("AXDialog"));
        }
        if (type == ewmh->_NET_WM_WINDOW_TYPE_UTILITY ||
            type == ewmh->_NET_WM_WINDOW_TYPE_TOOLBAR || type == ewmh->_NET_WM_WINDOW_TYPE_MENU) {
            return success(std::string("AXFloatingWindow"));
        }
        return success(std::string("AXUnknown"));
    }
    if (attribute == "AXIdentifier") {
        return window->role ? success(*window->role) : failure(kAXErrorNoValue);
    }
    return failure(kAXErrorAttributeUnsupported);
}

AXError X11Desktop::setAttributeValue(const AXElement& element, std::string_view attribute,
                                      const AXValue& value) {
    const auto* ref = dynamic_cast<const ElementRef*>(element.get());
    if (!ref || ref->kind != ElementRef::Kind::window || attribute != "AXPosition" ||
        value.type != AXValueType::cgPoint || !std::isfinite(value.first) ||
        !std::isfinite(value.second)) {
        return kAXErrorIllegalArgument;
    }
    const MirroredWindow* window = windowOf(*ref);
    if (!window) {
        return kAXErrorInvalidUIElement;
    }
    // X coordinates are 16-bit.
    auto toCoordinate = [](double v) {
        return static_cast<int>(std::clamp(std::lround(v), -32768L, 32767L));
    };
    mover_.move(*window, toCoordinate(value.first), toCoordinate(value.second));
    return kAXErrorSuccess;
}

AXObserverCreateResult X11Desktop::createObserver(Pid pid, AXObserverCallback callback) {
    if (!groups_.byId(pid) || !callback) {
        return {kAXErrorInvalidUIElement, nullptr};
    }
    return {kAXErrorSuccess, observers_.create(pid, callback)};
}

AXError X11Desktop::addNotification(const AXObserver& observer, const AXElement& element,
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

AXError X11Desktop::removeNotification(const AXObserver& observer, const AXElement& element,
                                       std::string_view notification) {
    return observers_.remove(observer, element, notification);
}

void X11Desktop::addRunLoopSource(const AXObserver& observer) {
    observers_.attach(observer, true);
}

void X11Desktop::removeRunLoopSource(const AXObserver& observer) {
    observers_.attach(observer, false);
}

std::optional<xcb_window_t> X11Desktop::clientOf(const AXElement& element) const {
    const auto* ref = dynamic_cast<const ElementRef*>(element.get());
    if (!ref || ref->kind != ElementRef::Kind::window) {
        return std::nullopt;
    }
    return ref->client;
}

// ---- workspace ----

std::vector<RunningApplication> X11Desktop::runningApplications() {
    std::vector<RunningApplication> result;
    for (const AppGroup* group : groups_.inLaunchOrder()) {
        result.push_back({group->id, group->wmClass.empty()
                                         ? std::nullopt
                                         : std::optional<std::string>(group->wmClass)});
    }
    return result;
}

std::optional<RunningApplication> X11Desktop::frontmostApplication() {
    auto active = mirror_.activeWindow();
    if (!active) {
        return std::nullopt;
    }
    const MirroredWindow* window = mirror_.find(*active);
    if (!window || window->ownProcess) {
        return std::nullopt;
    }
    const AppGroup* group = groups_.byClass(window->wmClass);
    if (!group) {
        return std::nullopt;
    }
    return runningApplication(group->id);
}

std::optional<RunningApplication> X11Desktop::runningApplication(Pid pid) {
    const AppGroup* group = groups_.byId(pid);
    if (!group) {
        return std::nullopt;
    }
    return RunningApplication{group->id, group->wmClass.empty()
                                             ? std::nullopt
                                             : std::optional<std::string>(group->wmClass)};
}

void X11Desktop::addObserver(const void* observer, WorkspaceEvent event, Handler handler) {
    workspaceRegistrations_.push_back(
        {observer, event, std::make_shared<Handler>(std::move(handler))});
}

void X11Desktop::removeObserver(const void* observer) {
    workspaceRegistrations_.erase(
        std::remove_if(workspaceRegistrations_.begin(), workspaceRegistrations_.end(),
                       [&](const WorkspaceRegistration& r) { return r.key == observer; }),
        workspaceRegistrations_.end());
}

}  // namespace tallowmere::x11
