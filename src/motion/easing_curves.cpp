// The progress curves behind each easing case, and the random pick among them.
#include <algorithm>
#include <array>
#include <cmath>

#include "motion/easing_function.h"
#include "motion/unit_bezier.h"

namespace tallowmere {
namespace {

constexpr double kBezierEpsilon = 1e-6;

double bezier(double x1, double y1, double x2, double y2, double t) {
    return UnitBezier::fromControlPoints(x1, y1, x2, y2).solve(t, kBezierEpsilon);
}

double bouncy(double t) {
    const double clamped = t <= 0 ? 0.0 : std::min(t, 1.0);
    return 1 - std::exp(-4.42336245625443 * clamped) * std::cos(13.096159963351424 * clamped);
}

double snappy(double t) {
    const double u = t <= 0 ? -1.0 : std::min(t, 1.0) - 1;
    return 1 + 2.70158 * u * u * u + 1.70158 * u * u;
}

// Every case but `none` (not an animation) and `random` itself.
constexpr std::array<EasingFunction, 8> kRandomCandidates = {
    EasingFunction::linear,    EasingFunction::easeIn,  EasingFunction::easeOut,
    EasingFunction::easeInOut, EasingFunction::bouncy,  EasingFunction::snappy,
    EasingFunction::billiards, EasingFunction::gravity,
};

}  // namespace

double apply(EasingFunction easing, double t, RandomSource& random) {
    switch (easing) {
        case EasingFunction::none:
        case EasingFunction::linear:
        case EasingFunction::billiards:
        case EasingFunction::gravity:
            return t;
        case EasingFunction::easeIn:
            return bezier(0.755, 0.05, 0.855, 0.06, t);
        case EasingFunction::easeOut:
            return bezier(0.23, 1.0, 0.32, 1.0, t);
        case EasingFunction::easeInOut:
            return bezier(0.86, 0.0, 0.07, 1.0, t);
        case EasingFunction::bouncy:
            return bouncy(t);
        case EasingFunction::snappy:
            return snappy(t);
        case EasingFunction::random:
            return apply(resolved(easing, random), t, random);
    }
    return t;
}

EasingFunction resolved(EasingFunction easing, RandomSource& random) {
    if (easing != EasingFunction::random) {
        return easing;
    }
    return kRandomCandidates[random.uniformBelow(kRandomCandidates.size())];
}

}  // namespace tallowmere
