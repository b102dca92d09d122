// The session decides: Wayland with KWin on the session bus is KDE Plasma's, other Wayland
// compositors are refused (an X11 backend there would see only XWayland's windows), anything else
// is taken for an X11 session.
#include "app/backend_choice.h"

#include <cstdlib>
#include <string_view>

#include "platform/linux/kwin/bus_instance.h"
#include "platform/linux/kwin/kwin_backend.h"
#include "platform/linux/x11/instance_selection.h"
#include "platform/linux/x11_backend/x11_backend.h"

namespace tallowmere {
namespace {

bool waylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return (display && *display) || (type && std::string_view(type) == "wayland");
}

std::string desktopName() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return desktop && *desktop ? desktop : "unknown";
}

}  // namespace

BackendChoice chooseBackend() {
    if (waylandSession()) {
        if (!KWinBackend::kwinSession()) {
            return BackendChoice{
                .qtPlatform = "wayland",
                .connectInstance = [](std::string& whyNot) -> std::unique_ptr<SingleInstance> {
                    whyNot = "this Wayland desktop (XDG_CURRENT_DESKTOP=" + desktopName() +
                             ") is not supported yet: only KDE Plasma and X11 sessions are";
                    return nullptr;
                },
                .open = [](std::string&) -> std::unique_ptr<DesktopBackend> { return nullptr; },
            };
        }
        return BackendChoice{
            .qtPlatform = KWinBackend::kQtPlatform,
            .connectInstance = [](std::string& whyNot) -> std::unique_ptr<SingleInstance> {
                return kwin::BusInstance::connect(whyNot);
            },
            .open = [](std::string& whyNot) -> std::unique_ptr<DesktopBackend> {
                return KWinBackend::open(whyNot);
            },
        };
    }
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
