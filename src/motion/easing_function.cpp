// Every easing case as one row: its stored raw value, its label, its progress curve, and whether
// a random pick may choose it.
#include "motion/easing_function.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "motion/unit_bezier.h"

namespace tallowmere {
namespace {

constexpr double kBezierEpsilon = 1e-6;

double straight(double t) {
    return t;
}
double easeIn(double t) {
    return UnitBezier::fromControlPoints(0.755, 0.05, 0.855, 0.06).solve(t, kBezierEpsilon);
}
double easeOut(double t) {
    return UnitBezier::fromControlPoints(0.23, 1.0, 0.32, 1.0).solve(t, kBezierEpsilon);
}
double easeInOut(double t) {
    return UnitBezier::fromControlPoints(0.86, 0.0, 0.07, 1.0).solve(t, kBezierEpsilon);
}
double bouncy(double t) {
    const double clamped = t <= 0 ? 0.0 : std::min(t, 1.0);
    return 1 - std::exp(-4.42336245625443 * clamped) * std::cos(13.096159963351424 * clamped);
}
double snappy(double t) {
    const double u = t <= 0 ? -1.0 : std::min(t, 1.0) - 1;
    return 1 + 2.70158 * u * u * u + 1.70158 * u * u;
}

struct EasingRow {
    EasingFunction easing;
    std::string_view raw;
    std::string_view label;
    double (*progress)(double);  // none for `random`, which borrows another row's
    bool randomPick;
};

// Billiards and gravity draw their path elsewhere: their time runs straight.
constexpr EasingRow kTable[] = {
    {EasingFunction::none, "none", "なし（瞬間移動）", straight, false},
    {EasingFunction::linear, "linear", "Linear（等速）", straight, true},
    {EasingFunction::easeIn, "easeIn", "Ease In（じわっと加速）", easeIn, true},
    {EasingFunction::easeOut, "easeOut", "Ease Out（じわっと減速）", easeOut, true},
    {EasingFunction::easeInOut, "easeInOut", "Ease In-Out（じわっと加減速）", easeInOut, true},
    {EasingFunction::bouncy, "bouncy", "Bouncy（ボヨヨ〜ン）", bouncy, true},
    {EasingFunction::snappy, "snappy", "Snappy（シュイーン）", snappy, true},
    {EasingFunction::billiards, "billiards", "Billiards（跳ね回る）", straight, true},
    {EasingFunction::gravity, "gravity", "Gravity（落下して跳ねる）", straight, true},
    {EasingFunction::random, "random", "Random（毎回ランダム）", nullptr, false},
};

constexpr bool tableFollowsTheEnumeration() {
    if (std::size(kTable) != kAllEasingFunctions.size()) {
        return false;
    }
    for (std::size_t i = 0; i < std::size(kTable); ++i) {
        if (kTable[i].easing != kAllEasingFunctions[i] ||
            static_cast<std::size_t>(kTable[i].easing) != i) {
            return false;
        }
    }
    return true;
}
static_assert(tableFollowsTheEnumeration(), "one row per case, in declaration order");

constexpr std::size_t kRandomCount = static_cast<std::size_t>(std::count_if(
    std::begin(kTable), std::end(kTable), [](const EasingRow& row) { return row.randomPick; }));
// Every case but `none` (not an animation) and `random` itself.
static_assert(kRandomCount == kAllEasingFunctions.size() - 2);

constexpr std::array<EasingFunction, kRandomCount> kRandomCandidates = [] {
    std::array<EasingFunction, kRandomCount> candidates{};
    std::size_t at = 0;
    for (const EasingRow& row : kTable) {
        if (row.randomPick) {
            candidates[at++] = row.easing;
        }
    }
    return candidates;
}();

const EasingRow& rowOf(EasingFunction easing) {
    return kTable[static_cast<std::size_t>(easing)];
}

}  // namespace

std::string_view rawValue(EasingFunction easing) {
    return rowOf(easing).raw;
}

std::string_view displayName(EasingFunction easing) {
    return rowOf(easing).label;
}

std::optional<EasingFunction> easingFunctionFromRaw(std::string_view raw) {
    for (const EasingRow& row : kTable) {
        if (row.raw == raw) {
            return row.easing;
        }
    }
    return std::nullopt;
}

double apply(EasingFunction easing, double t, RandomSource& random) {
    const EasingRow& row = rowOf(resolved(easing, random));
    return row.progress ? row.progress(t) : t;
}

EasingFunction resolved(EasingFunction easing, RandomSource& random) {
    if (easing != EasingFunction::random) {
        return easing;
    }
    return kRandomCandidates[random.uniformBelow(kRandomCandidates.size())];
}

}  // namespace tallowmere
