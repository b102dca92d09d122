// A cubic timing curve from (0, 0) to (1, 1) through two control points, solved for y at a given x.
#pragma once

#include <cmath>

namespace tallowmere {

// Polynomial coefficients of the curve; cheap enough to build for every evaluation.
struct UnitBezier {
    double ax;
    double bx;
    double cx;
    double ay;
    double by;
    double cy;

    static constexpr UnitBezier fromControlPoints(double x1, double y1, double x2, double y2) {
        const double cx = 3 * x1;
        const double bx = 3 * (x2 - x1) - cx;
        const double cy = 3 * y1;
        const double by = 3 * (y2 - y1) - cy;
        return {1 - cx - bx, bx, cx, 1 - cy - by, by, cy};
    }

    double sampleCurveX(double s) const { return ((ax * s + bx) * s + cx) * s; }
    double sampleCurveY(double s) const { return ((ay * s + by) * s + cy) * s; }
    double sampleCurveDerivativeX(double s) const { return (3 * ax * s + 2 * bx) * s + cx; }

    // y at the curve parameter whose x is within epsilon of x.
    double solve(double x, double epsilon) const {
        double s = x;
        for (int i = 0; i < 8; ++i) {
            const double error = sampleCurveX(s) - x;
            if (std::fabs(error) < epsilon) {
                return sampleCurveY(s);
            }
            const double slope = sampleCurveDerivativeX(s);
            if (std::fabs(slope) < 1e-6) {
                break;
            }
            s -= error / slope;
        }

        // Newton stalled on a flat spot or overshot far away: bisect from the start again.
        double lo = 0;
        double hi = 1;
        s = x;
        do {
            const double value = sampleCurveX(s);
            if (std::fabs(value - x) < epsilon) {
                return sampleCurveY(s);
            }
            if (value < x) {
                lo = s;
            } else {
                hi = s;
            }
            const double mid = (lo + hi) / 2;
            // For huge or infinite x the tolerance is out of reach and the bracket stops
            // narrowing once its ends are neighbouring doubles; without this the loop would spin.
            if (mid == s) {
                break;
            }
            s = mid;
        } while (lo < hi);
        return sampleCurveY(s);
    }
};

}  // namespace tallowmere
