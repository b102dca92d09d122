#include "engine/window_cascade_manager.h"

namespace tallowmere {

std::shared_ptr<WindowCascadeManager> WindowCascadeManager::create(const EnginePorts& ports) {
    return std::shared_ptr<WindowCascadeManager>(new WindowCascadeManager(ports));
}

WindowCascadeManager::WindowCascadeManager(const EnginePorts& ports)
    : ports_(ports),
      access_(ports.accessibility, ports.workspace),
      feedback_(ports.screens, ports.feedbackWindows, ports.loop) {}

// The engine normally lives as long as the process; should it go earlier, it stops like at
// shut-down, so that no notification can reach a released context and no timer outlives it.
WindowCascadeManager::~WindowCascadeManager() {
    stopMonitoring();
}

}  // namespace tallowmere
