// The two per-window paths that are not easing curves: billiards (bouncing off the edges of the
// visible area) and gravity (falling to the bottom of the visible area and back up).
#pragma once

#include <cstdint>

#include "platform/geometry.h"
#include "platform/random_source.h"

namespace tallowmere {

// Where a window's top-left corner may travel so that the window stays inside the visible area,
// and how often its path folds back along each axis (both at least 1).
struct BilliardsRoom {
    double roomMinX = 0;
    double roomMaxX = 0;
    double roomMinY = 0;
    double roomMaxY = 0;
    std::int64_t bounceCountX = 1;
    std::int64_t bounceCountY = 1;
};

// The visible area of a screen in top-left-origin coordinates.
struct VisibleArea {
    double left = 0;
    double right = 0;
    double top = 0;
    double bottom = 0;
};

// A screen's visible frame (bottom-left origin) seen from the top-left corner of the primary
// screen, whose frame is primaryHeight high.
VisibleArea visibleAreaOf(const Rect& visibleFrame, double primaryHeight);

// Draws bounceCountY (1...3) first, then f in [0.6, 1.6] when both ranges exceed 0.0001.
BilliardsRoom makeBilliardsRoom(const VisibleArea& area, Size windowSize, RandomSource& random);

// The top-left y at which the window's bottom edge touches the bottom of the visible area.
double gravityFloorY(const VisibleArea& area, Size windowSize);

// Straight travel over an axis unfolded n room widths long, reflected back into [lo, hi];
// exactly b at q = 1.
double fold(double a, double b, double lo, double hi, std::int64_t n, double q);

// Positions for t < 1 (the caller puts the window at `end` once t reaches 1).
Point billiardsPosition(Point start, Point end, const BilliardsRoom& room, double t);
Point gravityPosition(Point start, Point end, double floorY, double t);

}  // namespace tallowmere
