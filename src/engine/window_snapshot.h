// The records the engine hands from reading to layout to animation.
#pragma once

#include "platform/accessibility.h"
#include "platform/geometry.h"

namespace tallowmere {

// A window with the rectangle last read for it or assigned to it.
struct WindowSnapshot {
    AXElement window;
    Point position;  // top-left, accessibility coordinates
    Size size;
};

// One window's move, from where it stood when the row was computed to its target.
struct WindowMove {
    AXElement window;
    Point start;
    Point end;
    Size size;  // unchanged by the move; the trajectories need it
};

}  // namespace tallowmere
