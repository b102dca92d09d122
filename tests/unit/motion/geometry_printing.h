// Readable failure messages for the geometry and colour records.
#pragma once

#include <ostream>

#include "platform/feedback_windows.h"
#include "platform/geometry.h"

namespace tallowmere {

inline void PrintTo(const Point& point, std::ostream* os) {
    *os << "(" << point.x << ", " << point.y << ")";
}

inline void PrintTo(const Rect& rect, std::ostream* os) {
    *os << "(" << rect.origin.x << ", " << rect.origin.y << ", " << rect.size.width << " x "
        << rect.size.height << ")";
}

inline void PrintTo(const Color& color, std::ostream* os) {
    *os << "rgba(" << color.red << ", " << color.green << ", " << color.blue << ", " << color.alpha
        << ")";
}

}  // namespace tallowmere
