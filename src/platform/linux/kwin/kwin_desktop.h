// The accessibility, workspace and screens ports over what the compositor's script reports: a
// table of windows, applications as the windows sharing one resource class, observers as a
// routing table over the table's changes, moves handed to the batch the script fetches.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/accessibility.h"
#include "platform/linux/kwin/batched_moves.h"
#include "platform/linux/kwin/script_reports.h"
#include "platform/main_loop.h"
#include "platform/observer_registry.h"
#include "platform/running_window.h"
#include "platform/screens.h"
#include "platform/workspace.h"

namespace tallowmere::kwin {

class KWinDesktop final : public Accessibility, public Workspace, public Screens {
  public:
    // Delivers work on the main loop in a mode (default-mode work waits while a menu is open).
    using Post = std::function<void(RunLoopMode, std::function<void()>)>;

    // `ownPid`: windows of this process are never reported to the engine.
    KWinDesktop(Post post, Pid ownPid);
    ~KWinDesktop() override;

    // --- what the script reports. The first snapshot is taken in silently: windows that were
    // there before the program started are not new.
    void snapshot(Snapshot snapshot);
    void windowChanged(ReportedWindow window);
    void windowRemoved(const std::string& id);
    void activeChanged(const std::string& id);
    bool connected() const { return connected_; }
    // The script went away (the compositor restarted or unloaded it).
    void disconnected() { connected_ = false; }

    BatchedMoves& moves() { return moves_; }
    // Called when a move was requested, so that the batch can be sent on this loop turn.
    void onMoveRequested(std::function<void()> handler) { moveRequested_ = std::move(handler); }
    std::vector<RunningWindow> runningWindows() const;
    // What the script last reported about the window an element stands for, for tests.
    std::optional<ReportedWindow> reportedWindowOf(const AXElement& element) const;

    // Accessibility. "Trusted" means the script reports to us.
    bool isProcessTrusted() override { return connected_; }
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

    // Screens
    std::vector<Screen> screens() override;
    std::optional<Screen> mainScreen() override;

  private:
    struct ElementRef;
    struct Window {
        ReportedWindow reported;
        std::uint64_t serial = 0;  // order of arrival, for the window list
        bool own = false;
    };
    struct Group {
        Pid id = 0;
        std::string resourceClass;
        std::size_t windows = 0;
    };
    struct WorkspaceRegistration {
        const void* key = nullptr;
        WorkspaceEvent event = WorkspaceEvent::didLaunchApplication;
        std::shared_ptr<Handler> handler;
    };

    void upsert(ReportedWindow window, bool announce);
    void remove(const std::string& id, bool announce);
    Group* groupOf(const std::string& resourceClass);
    const Window* windowOf(const ElementRef& ref) const;
    void notifyWorkspace(WorkspaceEvent event, RunningApplication application);
    void deliver(std::string_view name, const std::optional<AXElement>& element,
                 const std::function<bool(const ElementRef&)>& registeredOn);
    void post(RunLoopMode mode, std::function<void()> work);

    Post post_;
    Pid ownPid_;
    bool connected_ = false;
    std::map<std::string, Window> windows_;
    std::map<std::string, Group> groups_;  // by resource class
    std::vector<ReportedScreen> screens_;
    std::string active_;
    Pid nextGroup_ = 1;
    std::uint64_t nextSerial_ = 1;
    BatchedMoves moves_;
    std::function<void()> moveRequested_;
    ObserverRegistry observers_;
    std::vector<WorkspaceRegistration> workspaceRegistrations_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tallowmere::kwin
