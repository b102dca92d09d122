#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "motion/easing_function.h"
#include "motion/unit_bezier.h"
#include "platform/sim/scripted_random_source.h"

namespace tallowmere {
namespace {

using sim::ScriptedRandomSource;

using enum EasingFunction;

TEST(EasingFunction, CurvesMatchReferenceValuesToSixPlaces) {
    struct Curve {
        EasingFunction easing;
        double progress[5];  // at t = 0, 0.25, 0.5, 0.75, 1
    };
    const Curve curves[] = {
        {easeIn, {0, 0.018424, 0.054947, 0.187297, 1}},
        {easeOut, {0, 0.775382, 0.965983, 0.997362, 1}},
        {easeInOut, {0, 0.042214, 0.676607, 0.966014, 1}},
        {bouncy, {0, 1.328034, 0.894304, 1.033419, 0.98965}},
        {snappy, {0, 0.81741, 1.087697, 1.064137, 1}},
    };
    ScriptedRandomSource noDraws;
    for (const Curve& curve : curves) {
        for (int i = 0; i < 5; ++i) {
            // Half a unit in the sixth place, and a hair more for values that sit on the tie.
            EXPECT_NEAR(apply(curve.easing, i / 4.0, noDraws), curve.progress[i], 5.000001e-7)
                << rawValue(curve.easing) << " at t = " << i / 4.0;
        }
    }
}

TEST(EasingFunction, RandomPicksAnAnimatedCaseNearUniformlyAndAFreshOneOnEveryApply) {
    auto seeded = ScriptedRandomSource::seeded(20240611);
    std::map<EasingFunction, int> counts;
    for (int i = 0; i < 80000; ++i) {
        ++counts[resolved(random, seeded)];
    }
    EXPECT_EQ(counts.size(), 8u);
    EXPECT_FALSE(counts.contains(none));
    EXPECT_FALSE(counts.contains(random));
    for (const auto& [easing, count] : counts) {
        EXPECT_NEAR(count, 10000, 400) << rawValue(easing);  // about four standard deviations
    }

    ScriptedRandomSource words{1, 6};  // easeIn, then billiards
    EXPECT_NEAR(apply(random, 0.5, words), 0.054947, 5e-7);
    EXPECT_EQ(apply(random, 0.5, words), 0.5);
    EXPECT_EQ(resolved(bouncy, words), bouncy);
    EXPECT_EQ(words.drawn(), 2u);  // one draw for each pick, none for a fixed case
    EXPECT_EQ(words.overdraws(), 0u);
}

TEST(EasingFunction, RawValuesRoundTripExactlyAndCaseSensitively) {
    for (EasingFunction easing : kAllEasingFunctions) {
        EXPECT_EQ(easingFunctionFromRaw(rawValue(easing)), easing) << rawValue(easing);
    }
    EXPECT_EQ(easingFunctionFromRaw("easeInOut"), easeInOut);
    for (const char* unknown : {"", "EaseInOut", "RANDOM", "linear ", "ease_in"}) {
        EXPECT_EQ(easingFunctionFromRaw(unknown), std::nullopt) << '"' << unknown << '"';
    }
}

TEST(UnitBezier, BisectsWhereNewtonFailsAndStopsWhereTheToleranceIsOutOfReach) {
    // x(s) = 4(s - 0.5)^3 + 0.5 is flat at s = 0.5: Newton stalls there or flies off the curve
    // from near it, so only the bisection finds s. With y = x the result shows how close it came.
    const UnitBezier flat = UnitBezier::fromControlPoints(1, 1, 0, 0);
    for (double x : {0.5 - 1e-5, 0.5 + 1e-5, 0.499, 0.501, 0.48, 0.52, 0.1, 0.9}) {
        EXPECT_NEAR(flat.solve(x, 1e-6), x, 1e-6) << "x = " << x;
    }
    // Huge and infinite x must return rather than spin once the bracket stops narrowing.
    const double inf = std::numeric_limits<double>::infinity();
    for (double x : {1e12, -1e12, 1e300, inf, -inf}) {
        EXPECT_FALSE(std::isnan(flat.solve(x, 1e-6))) << "x = " << x;
    }
}

}  // namespace
}  // namespace tallowmere
