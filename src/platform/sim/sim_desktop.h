// A scripted desktop: applications, their windows and the screens, seen through the
// accessibility, workspace and screens ports exactly as the engine would see a real one.
// Window changes emit the notifications a real system would, delivered through the main loop
// to observers whose run-loop source is attached, in the default mode only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/accessibility.h"
#include "platform/observer_registry.h"
#include "platform/screens.h"
#include "platform/sim/sim_main_loop.h"
#include "platform/workspace.h"

namespace tallowmere::sim {

using WindowId = std::uint64_t;

struct WindowSpec {
    Point position;
    Size size{800, 600};
    bool minimized = false;
    std::optional<std::string> subrole = std::string("AXStandardWindow");
    std::optional<std::string> identifier;
};

struct PositionWrite {
    double time = 0;
    WindowId window = 0;
    Point point;
    AXError result = kAXErrorSuccess;
};

// One observer operation, in the order the engine made it; what = "create", "add", "remove",
// "attach", "detach" or "release". element is "app" or "window <id>" (empty otherwise).
struct ObserverOperation {
    std::string what;
    Pid pid = 0;
    std::string element;
    std::string notification;
};

struct Registration {
    std::string element;  // "app" or "window <id>"
    std::string notification;
};

class SimDesktop final : public Accessibility, public Workspace, public Screens {
  public:
    explicit SimDesktop(SimMainLoop& loop);
    ~SimDesktop() override;

    // --- scripting: applications ---
    // Starts an application and announces its launch; pid 0 picks the next free pid.
    Pid launchApplication(std::optional<std::string> bundleIdentifier, Pid pid = 0);
    // Adds a running application without any announcement (it was running before we started).
    Pid addRunningApplication(std::optional<std::string> bundleIdentifier, Pid pid = 0);
    // Quits an application: its windows vanish without notifications, then the termination is
    // announced.
    void terminateApplication(Pid pid);
    // Notifications that carry no running application.
    void postMalformedLaunch();
    void postMalformedTerminate();
    void setFrontmostApplication(std::optional<Pid> pid);
    void setTrusted(bool trusted) { trusted_ = trusted; }

    // --- scripting: windows ---
    WindowId openWindow(Pid pid, const WindowSpec& window);
    // A window destroyed this way is unreadable before its notification arrives, as on the real
    // system; readableDuringNotification keeps it readable until the notification is delivered.
    void closeWindow(WindowId window, bool readableDuringNotification = false);
    void minimizeWindow(WindowId window);
    void restoreWindow(WindowId window);
    // Moves a window as the user would (no notification).
    void dragWindow(WindowId window, Point position);

    // --- scripting: failures ---
    // Every later read of the attribute gives this answer (error code, optional value).
    void overrideAttribute(WindowId window, const std::string& attribute, AXReadResult result);
    void overrideApplicationAttribute(Pid pid, const std::string& attribute, AXReadResult result);
    void clearOverrides(WindowId window);
    void failPositionWrites(WindowId window, std::optional<AXError> error);
    void failObserverCreate(Pid pid, std::optional<AXError> error);
    void failAddNotification(Pid pid, const std::string& notification,
                             std::optional<AXError> error);

    // --- scripting: screens ---
    void setScreens(std::vector<Screen> screens);
    // Index into the screen list; none means there is no main screen.
    void setMainScreenIndex(std::optional<std::size_t> index);

    // --- inspection ---
    Point positionOf(WindowId window) const;
    Size sizeOf(WindowId window) const;
    bool exists(WindowId window) const;
    AXElement windowElement(WindowId window) const;  // a fresh handle each call
    std::optional<WindowId> windowIdOf(const AXElement& element) const;
    const std::vector<PositionWrite>& positionWrites() const { return writes_; }
    void clearPositionWrites() { writes_.clear(); }
    // Benchmarks turn the write log off so that it does not grow without bound.
    void setRecordPositionWrites(bool record) { recordWrites_ = record; }
    const std::vector<ObserverOperation>& observerOperations() const { return observerOps_; }
    // Live observers of a pid and what they are registered for.
    std::size_t liveObserverCount(Pid pid) const;
    std::vector<Registration> registrations(Pid pid) const;
    bool observerAttached(Pid pid) const;
    std::size_t workspaceObserverCount() const { return workspaceObservers_.size(); }

    // --- Accessibility ---
    bool isProcessTrusted() override { return trusted_; }
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

    // --- Workspace ---
    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<RunningApplication> runningApplication(Pid pid) override;
    void addObserver(const void* observer, WorkspaceEvent event, Handler handler) override;
    void removeObserver(const void* observer) override;

    // --- Screens ---
    std::vector<Screen> screens() override { return screens_; }
    std::optional<Screen> mainScreen() override;

  private:
    struct WindowState;
    struct AppState;
    struct ElementRef;

    WindowState* findWindow(WindowId id);
    const WindowState* findWindow(WindowId id) const;
    AppState* findApp(Pid pid);
    const ElementRef* refOf(const AXElement& element) const;
    ObserverRegistry::Observer* stateOf(const AXObserver& observer) const;
    std::string describe(const AXElement& element) const;
    AXReadResult readWindow(const WindowState& window, std::string_view attribute) const;
    // Queues a notification to every observer of pid registered for it on `target`.
    void emit(Pid pid, const AXElement& target, const AXElement& subject,
              const std::string& notification);
    void announce(WorkspaceEvent event, std::optional<RunningApplication> application);
    Pid allocatePid(Pid requested);

    SimMainLoop& loop_;
    bool trusted_ = true;
    Pid nextPid_ = 1000;
    WindowId nextWindow_ = 1;
    std::vector<std::unique_ptr<AppState>> apps_;  // launch order
    std::map<WindowId, std::unique_ptr<WindowState>> windows_;
    std::optional<Pid> frontmost_;
    std::vector<Screen> screens_;
    std::optional<std::size_t> mainScreenIndex_ = 0;
    std::vector<PositionWrite> writes_;
    bool recordWrites_ = true;
    std::vector<ObserverOperation> observerOps_;
    ObserverRegistry observers_;
    std::map<Pid, AXError> failObserverCreate_;
    std::map<std::pair<Pid, std::string>, AXError> failAddNotification_;
    struct WorkspaceRegistration {
        const void* observer;
        WorkspaceEvent event;
        std::shared_ptr<Handler> handler;
    };
    std::vector<WorkspaceRegistration> workspaceObservers_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tallowmere::sim
