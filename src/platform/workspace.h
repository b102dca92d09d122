// The workspace port: running applications, the frontmost one, launch and terminate notices.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace tallowmere {

struct RunningApplication {
    Pid processIdentifier = 0;
    // macOS: the bundle identifier. X11: the class part of WM_CLASS (e.g. "XTerm").
    std::optional<std::string> bundleIdentifier;
    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// A launch or terminate notification; the application is absent when the notification carried
// none (a malformed notice).
struct WorkspaceNotification {
    std::optional<RunningApplication> application;
};

enum class WorkspaceEvent { didLaunchApplication, didTerminateApplication };

class Workspace {
  public:
    using Handler = std::function<void(const WorkspaceNotification&)>;

    virtual ~Workspace() = default;

    virtual std::vector<RunningApplication> runningApplications() = 0;
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    // runningApplicationWithProcessIdentifier:
    virtual std::optional<RunningApplication> runningApplication(Pid pid) = 0;

    // addObserver:selector:name:object: and removeObserver: — observer is only a key, so that
    // one call removes every registration made under it. Delivered on the main loop.
    virtual void addObserver(const void* observer, WorkspaceEvent event, Handler handler) = 0;
    virtual void removeObserver(const void* observer) = 0;
};

}  // namespace tallowmere
