// The arrangement engine: follows the watched applications, reacts to new, closed and minimised
// windows, lays rows out and animates the moves. Lives in a shared_ptr; everything it schedules
// holds it weakly.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/engine_ports.h"
#include "engine/window_access.h"
#include "engine/window_snapshot.h"
#include "motion/easing_function.h"
#include "motion/feedback.h"
#include "motion/trajectories.h"
#include "platform/notification_registration.h"
#include "settings/alignment_anchor.h"

namespace tallowmere {

class WindowCascadeManager : public std::enable_shared_from_this<WindowCascadeManager> {
  public:
    // The refcon of every notification of one observation; the manager outlives it.
    struct ObserverContext {
        Pid pid = 0;
        WindowCascadeManager* manager = nullptr;
    };

    struct AppObservation {
        AXElement axApp;
        AXObserver axObserver;
        std::unique_ptr<ObserverContext> context;
        void* refcon = nullptr;  // the address of *context
        // The three application-level registrations, in the order they are made and removed.
        std::vector<NotificationRegistration> applicationRegistrations;
        // Each watched window's closing: dropped when it closes, else it ends with the observer.
        std::vector<NotificationRegistration> windowRegistrations;
    };

    // What one animation run captures at its start and never changes.
    struct AnimationRun {
        double startDate = 0;
        double duration = 0;
        EasingFunction easing = EasingFunction::linear;
        std::vector<WindowMove> moves;
        std::vector<BilliardsRoom> rooms;  // one per move, billiards only
        std::vector<double> floors;        // one per move, gravity only
    };

    // Every accessibility notification is handled this long after it arrives.
    static constexpr double kNotificationDelay = 0.05;

    static std::shared_ptr<WindowCascadeManager> create(const EnginePorts& ports);
    ~WindowCascadeManager();
    WindowCascadeManager(const WindowCascadeManager&) = delete;
    WindowCascadeManager& operator=(const WindowCascadeManager&) = delete;

    // --- state ---
    std::map<Pid, AppObservation> observations;
    std::map<Pid, std::vector<WindowSnapshot>> knownWindowRects;
    std::shared_ptr<Timer> animationTimer;  // null while no animation runs

    // --- known window rectangles ---
    void recordKnownRect(const AXElement& window, Pid pid, Point position, Size size);
    std::optional<Rect> lookupKnownRect(const AXElement& window, Pid pid) const;
    void forgetKnownRect(const AXElement& window, Pid pid);
    void forgetApplicationRects(Pid pid);
    void subscribeWindowDestroyed(const AXElement& window, Pid pid);
    void unsubscribeWindowDestroyed(const AXElement& window, Pid pid);

    // --- row layout and animation ---
    void arrangeRow(const std::vector<WindowSnapshot>& windows, AlignmentAnchor anchor,
                    const std::optional<AXElement>& newWindow, Pid pid, double anchorX,
                    double centroidY);
    void animateMoves(const std::vector<WindowMove>& moves, const std::optional<Screen>& screen);
    void animationTick(Timer& timer, const AnimationRun& run);

    // --- window handlers ---
    void scheduleWindowCreated(const AXElement& window, Pid pid);
    void handleWindowCreated(const AXElement& window, Pid pid);
    void realignFrontmostApp(AlignmentAnchor anchor);
    void realignApp(Pid pid, AlignmentAnchor anchor);
    void handleWindowGone(const AXElement& window, Pid pid, std::optional<Point> position,
                          std::optional<Size> size);

    // --- application observation ---
    void startMonitoring();
    void stopMonitoring();
    void reconcileObservations();
    void handleAppLaunched(const WorkspaceNotification& notification);
    void handleAppTerminated(const WorkspaceNotification& notification);
    void startObserving(Pid pid);
    void tearDownObservation(AppObservation& record);
    static void observerCallback(const AXObserver& observer, const AXElement& element,
                                 std::string_view notification, void* refcon);
    void handleAccessibilityNotification(const AXElement& element, std::string_view name,
                                         ObserverContext* context);

    const WindowAccess& windowAccess() const { return access_; }

  private:
    explicit WindowCascadeManager(const EnginePorts& ports);

    std::optional<std::vector<WindowSnapshot>> gatherStandardWindows(
        const AppObservation& observation, Pid pid, const std::optional<AXElement>& exclude);
    void writePosition(const AXElement& window, Point point);
    // In the watched list and not paused; read afresh from the settings at every call.
    bool isActiveBundle(const std::string& bundleIdentifier) const;
    void log(const DiagLine& line) { ports_.diagnostics.log(line.str()); }

    EnginePorts ports_;
    WindowAccess access_;
    Feedback feedback_;
};

}  // namespace tallowmere
