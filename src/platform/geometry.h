// Points, sizes and rectangles in points, as doubles. Which way y grows depends on the caller:
// engine geometry is top-left origin ("accessibility"), screens are bottom-left origin.
#pragma once

#include <cstdint>

namespace tallowmere {

// An application's number. macOS: its process id. X11: the number of a WM_CLASS class group
// (stable for the group's life, unique in the run), not any one process's id.
using Pid = std::int32_t;

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;

    double minX() const { return origin.x; }
    double maxX() const { return origin.x + size.width; }
    double midX() const { return origin.x + size.width / 2; }
    double minY() const { return origin.y; }
    double maxY() const { return origin.y + size.height; }
    double midY() const { return origin.y + size.height / 2; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace tallowmere
