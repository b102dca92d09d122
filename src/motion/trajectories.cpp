#include "motion/trajectories.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tallowmere {
namespace {

constexpr double kMinimumRange = 0.0001;

// Nearest integer, halves away from zero, at least 1. The ratio behind it can be enormous or
// not a number when a room is degenerate, so it is range-checked before the conversion.
std::int64_t bounceCountFrom(double ratio) {
    const double rounded = std::round(ratio);
    if (!(rounded >= 1)) {
        return 1;
    }
    constexpr double kBeyondInt64 = 0x1p63;
    if (rounded >= kBeyondInt64) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return static_cast<std::int64_t>(rounded);
}

}  // namespace

VisibleArea visibleAreaOf(const Rect& visibleFrame, double primaryHeight) {
    return {visibleFrame.minX(), visibleFrame.maxX(), primaryHeight - visibleFrame.maxY(),
            primaryHeight - visibleFrame.minY()};
}

BilliardsRoom makeBilliardsRoom(const VisibleArea& area, Size windowSize, RandomSource& random) {
    BilliardsRoom room;
    room.roomMinX = area.left;
    room.roomMaxX = area.right - windowSize.width;
    room.roomMinY = area.top;
    room.roomMaxY = area.bottom - windowSize.height;
    room.bounceCountY = random.uniformInRange(1, 3);

    const double rangeX = room.roomMaxX - room.roomMinX;
    const double rangeY = room.roomMaxY - room.roomMinY;
    if (rangeX > kMinimumRange && rangeY > kMinimumRange) {
        // f in [0.6, 1.6] on a grid of 2^-53: the horizontal path is about f times the vertical.
        constexpr std::int64_t kSteps = std::int64_t{1} << 53;
        const auto k = static_cast<double>(random.uniformInRange(0, kSteps));
        const double f = 0.6 + k * 0x1p-53;
        room.bounceCountX =
            bounceCountFrom((rangeY * static_cast<double>(room.bounceCountY) * f) / rangeX);
    } else {
        room.bounceCountX = 1;
    }
    return room;
}

double gravityFloorY(const VisibleArea& area, Size windowSize) {
    return area.bottom - windowSize.height;
}

double fold(double a, double b, double lo, double hi, std::int64_t n, double q) {
    const double r = hi - lo;
    if (r <= kMinimumRange) {
        return b;
    }
    const double a0 = a - lo;
    // After an odd number of reflections the path arrives heading back, so the target is
    // measured from the far wall.
    const double d = n % 2 == 0 ? b - lo : r - (b - lo);
    const double u = a0 + q * ((r * static_cast<double>(n) + d) - a0);
    double s = std::fmod(u, 2 * r);
    if (s < 0) {
        s += 2 * r;
    }
    if (s > r) {
        s = 2 * r - s;
    }
    return lo + s;
}

Point billiardsPosition(Point start, Point end, const BilliardsRoom& room, double t) {
    // Decelerating progress along the path, like a ball losing speed.
    const double remaining = 1 - std::max(t, 0.0);
    const double q = std::clamp(1 - remaining * remaining, 0.0, 1.0);
    return {fold(start.x, end.x, room.roomMinX, room.roomMaxX, room.bounceCountX, q),
            fold(start.y, end.y, room.roomMinY, room.roomMaxY, room.bounceCountY, q)};
}

Point gravityPosition(Point start, Point end, double floorY, double t) {
    // y grows downwards, so the largest y is the lowest point the window reaches.
    const double peak = std::max({start.y, floorY, end.y});
    double y = start.y;
    if (t > 0.5) {
        const double rise = 2 - 2 * t;
        y = peak + (end.y - peak) * (1 - rise * rise);
    } else if (t > 0) {
        y = start.y + (peak - start.y) * (2 * t) * (2 * t);
    }
    return {start.x + t * (end.x - start.x), y};
}

}  // namespace tallowmere
