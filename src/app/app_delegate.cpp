// Start-up and shut-down order of the engine.
#include "app/app_delegate.h"

namespace tallowmere {

AppDelegate::AppDelegate(const EnginePorts& ports)
    : ports_(ports), manager_(WindowCascadeManager::create(ports)) {}

AppDelegate::~AppDelegate() {
    applicationWillTerminate();
}

void AppDelegate::applicationDidFinishLaunching() {
    if (ports_.accessibility.isProcessTrusted()) {
        startMonitoringIfTrusted();
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    permissionCheckTimer_ = ports_.loop.scheduleRepeatingTimer(
        kPermissionPollInterval, RunLoopMode::commonModes, [this, alive](Timer& timer) {
            if (!alive.lock()) {
                timer.invalidate();
                return;
            }
            if (ports_.accessibility.isProcessTrusted()) {
                timer.invalidate();
                permissionCheckTimer_.reset();
                startMonitoringIfTrusted();
            }
        });
}

void AppDelegate::startMonitoringIfTrusted() {
    if (monitoring_) {
        return;
    }
    monitoring_ = true;
    manager_->startMonitoring();
}

void AppDelegate::applicationWillTerminate() {
    if (permissionCheckTimer_) {
        permissionCheckTimer_->invalidate();
        permissionCheckTimer_.reset();
    }
    if (monitoring_) {
        monitoring_ = false;
        manager_->stopMonitoring();
    }
}

}  // namespace tallowmere
