// The accessibility and workspace ports on X11: elements over the window mirror, class groups as
// applications, observers as a routing table over the mirror's changes.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/accessibility.h"
#include "platform/linux/x11/application_groups.h"
#include "platform/linux/x11/window_mirror.h"
#include "platform/linux/x11/window_mover.h"
#include "platform/linux/x11/x11_connection.h"
#include "platform/main_loop.h"
#include "platform/observer_registry.h"
#include "platform/workspace.h"

namespace tallowmere::x11 {

class X11Desktop final : public Accessibility,
                         public Workspace,
                         private WindowMirror::Observer,
                         private ApplicationGroups::Listener {
  public:
    // Delivers work on the main loop in a mode (default-mode work waits while a menu is open).
    using Post = std::function<void(RunLoopMode, std::function<void()>)>;

    X11Desktop(X11Connection& x, MainLoop& loop, Post post, ApplicationGroups::WatchFd watchFd);
    ~X11Desktop() override;

    // Reads the current windows (silently) and starts following changes.
    void start();
    bool handleEvent(const xcb_generic_event_t& event) { return mirror_.handleEvent(event); }
    WindowMirror& mirror() { return mirror_; }
    const WindowMover& mover() const { return mover_; }
    // The client window an element stands for, for tests.
    std::optional<xcb_window_t> clientOf(const AXElement& element) const;
    // The classes of the applications that have windows now, for pickers.
    std::vector<std::string> runningClasses() const;

    // Accessibility
    bool isProcessTrusted() override;
    AXElement createApplication(Pid pid) override;
    AXReadResult copyAttributeValue(const AXElement& element, std::string_view attribute) override;
    AXError setAttributeValue(const AXElement& element, std::string_view attribute,
                              const AXValue& value) override;
    AXObserverCreateResult createObserver(Pid pid, AXObserverCallback callback) override;
    AXError addNotification(const AXObserver& observer, const AXElement& element,
                            std::string_view notification, void* refcon) override;
    AXError removeNotification(const AXObserver& observer, const AXElement& element,
                               std::string_view notification) override;
    void addRunLoopSource(const AXObserver& observer) override;
    void removeRunLoopSource(const AXObserver& observer) override;

    // Workspace
    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<RunningApplication> runningApplication(Pid pid) override;
    void addObserver(const void* observer, WorkspaceEvent event, Handler handler) override;
    void removeObserver(const void* observer) override;

  private:
    struct ElementRef;
    struct WorkspaceRegistration {
        const void* key = nullptr;
        WorkspaceEvent event = WorkspaceEvent::didLaunchApplication;
        std::shared_ptr<Handler> handler;
    };

    // WindowMirror::Observer
    void windowListed(const MirroredWindow& window) override;
    void windowUnlisted(const MirroredWindow& window) override;
    void hiddenChanged(const MirroredWindow& window) override;
    void frameMoved(const MirroredWindow& window) override { mover_.frameMoved(window); }
    void windowManagerChanged(bool running) override;
    // ApplicationGroups::Listener
    void groupLaunched(const AppGroup& group) override;
    void groupTerminated(Pid id, const std::string& wmClass) override;

    const MirroredWindow* windowOf(const ElementRef& ref) const;
    AXElement windowElement(const MirroredWindow& window) const;
    void deliverToApplication(const std::string& wmClass, std::uint64_t serial, xcb_window_t client,
                              std::string_view name);
    void deliverToWindow(std::uint64_t serial, std::string_view name);
    // Calls back every attached observer registered for `name` on an element `registeredOn`
    // accepts, with `element`, or with the registered element when none is given.
    void deliver(std::string_view name, const std::optional<AXElement>& element,
                 const std::function<bool(const ElementRef&)>& registeredOn);
    void notifyWorkspace(WorkspaceEvent event, RunningApplication application);

    X11Connection& x_;
    MainLoop& loop_;
    Post post_;
    WindowMirror mirror_;
    ApplicationGroups groups_;
    WindowMover mover_;
    ObserverRegistry observers_;
    std::vector<WorkspaceRegistration> workspaceRegistrations_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tallowmere::x11
