// Which desktop this session is, decided once at start-up: the one place that knows which
// backends exist.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/desktop_backend.h"
#include "platform/single_instance.h"

namespace tallowmere {

struct BackendChoice {
    // The Qt platform plugin the backend needs, set before the application object exists.
    const char* qtPlatform = nullptr;
    // The one-instance claim and commands, which work before Qt starts.
    std::function<std::unique_ptr<SingleInstance>(std::string& whyNot)> connectInstance;
    // The desktop itself; needs the application object.
    std::function<std::unique_ptr<DesktopBackend>(std::string& whyNot)> open;
};

BackendChoice chooseBackend();

}  // namespace tallowmere
