// Helpers shared by the handlers that start an arrangement.
#pragma once

#include <vector>

#include "engine/window_snapshot.h"

namespace tallowmere {

// The centre of the rectangles' bounding box; rects must not be empty.
Point boundingBoxCentre(const std::vector<Rect>& rects);
std::vector<Rect> rectsOf(const std::vector<WindowSnapshot>& snapshots);

}  // namespace tallowmere
