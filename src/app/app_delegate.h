// The program's owner of the engine: waits for a window manager, starts and stops monitoring.
// The tray, its menu and the hot keys attach here.
#pragma once

#include <memory>

#include "engine/window_cascade_manager.h"
#include "platform/main_loop.h"

namespace tallowmere {

class AppDelegate {
  public:
    // How often trust is looked at while it is missing.
    static constexpr double kPermissionPollInterval = 1.0;

    explicit AppDelegate(const EnginePorts& ports);
    ~AppDelegate();

    // Starts the engine now when trusted, otherwise once the poll first finds trust.
    void applicationDidFinishLaunching();
    // Stops the poll, then the engine.
    void applicationWillTerminate();

    bool monitoring() const { return monitoring_; }
    WindowCascadeManager& manager() { return *manager_; }
    const std::shared_ptr<Timer>& permissionCheckTimer() const { return permissionCheckTimer_; }

  private:
    void startMonitoringIfTrusted();

    EnginePorts ports_;
    std::shared_ptr<WindowCascadeManager> manager_;
    std::shared_ptr<Timer> permissionCheckTimer_;
    bool monitoring_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tallowmere
