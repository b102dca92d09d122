// A window of another application as the settings window's pickers see it.
#pragma once

#include <optional>
#include <string>

#include "platform/geometry.h"

namespace tallowmere {

struct RunningWindow {
    std::string applicationIdentifier;  // on X11 the WM_CLASS class
    std::optional<Pid> pid;             // the owning process, when it can be known
    // False for the kinds of window the engine never arranges whatever happens: docks and panels,
    // the desktop.
    bool canBeArranged = true;
};

}  // namespace tallowmere
