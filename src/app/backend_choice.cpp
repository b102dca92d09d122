// X11 is the only backend so far: every session that reaches here is taken for an X11 one.
#include "app/backend_choice.h"

#include "platform/linux/x11/instance_selection.h"
#include "platform/linux/x11_backend/x11_backend.h"

namespace tallowmere {

BackendChoice chooseBackend() {
    return BackendChoice{
        .qtPlatform = X11Backend::kQtPlatform,
        .connectInstance = [](std::string& whyNot) -> std::unique_ptr<SingleInstance> {
            return InstanceSelection::connect(whyNot);
        },
        .open = [](std::string& whyNot) -> std::unique_ptr<DesktopBackend> {
            return X11Backend::open(whyNot);
        },
    };
}

}  // namespace tallowmere
