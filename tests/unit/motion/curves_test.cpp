#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <tuple>

#include "motion/easing_function.h"
#include "motion/trajectories.h"
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

constexpr std::int64_t kSteps = std::int64_t{1} << 53;

// The draws of makeBilliardsRoom: bounceCountY in [1, 3], then f = 0.6 + k / 2^53.
ScriptedRandomSource roomDraws(std::int64_t bounceCountY, std::int64_t k) {
    return {ScriptedRandomSource::wordFor(bounceCountY, 1, 3),
            ScriptedRandomSource::wordFor(k, 0, kSteps)};
}

// A narrow room bounces once without drawing and goes straight to the target.
TEST(BilliardsRoom, SpansWhereTheWindowStaysInsideTheVisibleFrameSeenFromThePrimaryTop) {
    // A screen below and right of a 1080-high primary: top-left y from 280 down to 1280.
    const VisibleArea area = visibleAreaOf(Rect{{1920, -200}, {1280, 1000}}, 1080);
    ScriptedRandomSource draws = roomDraws(2, 0);
    const BilliardsRoom r = makeBilliardsRoom(area, {800, 600}, draws);
    EXPECT_EQ(std::tuple(r.roomMinX, r.roomMaxX, r.roomMinY, r.roomMaxY, r.bounceCountY),
              std::tuple(1920.0, 2400.0, 280.0, 680.0, std::int64_t{2}));
    EXPECT_EQ(gravityFloorY(area, {800, 600}), 680);

    // As wide as the screen, then as tall: one word, for the vertical bounces, and none for f.
    draws = {ScriptedRandomSource::wordFor(3, 1, 3), ScriptedRandomSource::wordFor(2, 1, 3)};
    const BilliardsRoom room = makeBilliardsRoom({0, 1440, 25, 900}, {1440, 400}, draws);
    EXPECT_EQ(room.bounceCountX, 1);
    for (double t : {0.0, 0.5, 0.99}) {
        EXPECT_EQ(billiardsPosition({7, 100}, {0, 300}, room, t).x, 0) << "t = " << t;
    }
    EXPECT_EQ(makeBilliardsRoom({0, 1440, 0, 900}, {500, 900}, draws).bounceCountX, 1);
    EXPECT_EQ(draws.overdraws(), 0u);
}

TEST(BilliardsRoom, RoundsTheHorizontalBounceCountHalvesAwayFromZero) {
    struct Case {
        double rangeX;
        std::int64_t bounceCountY, k, expectedX;
    };
    // Vertical range 1000 throughout; ratio = 1000 * bounceCountY * f / rangeX.
    const Case cases[] = {
        {400, 1, 0, 2},       // 1.5
        {240, 1, 0, 3},       // 2.5, not to the even 2
        {250, 1, 0, 2},       // 2.4
        {3000, 1, 0, 1},      // 0.2: at least one bounce
        {720, 3, 0, 3},       // 2.5 with three vertical bounces
        {640, 1, kSteps, 3},  // f = 1.6: 2.5
    };
    for (const Case& c : cases) {
        ScriptedRandomSource draws = roomDraws(c.bounceCountY, c.k);
        const BilliardsRoom room =
            makeBilliardsRoom({0, c.rangeX + 100, 0, 1100}, {100, 100}, draws);
        EXPECT_EQ(room.bounceCountX, c.expectedX) << "rangeX " << c.rangeX << ", k " << c.k;
    }
    // An absurd ratio saturates rather than overflowing the conversion.
    ScriptedRandomSource draws = roomDraws(3, kSteps);
    EXPECT_EQ(makeBilliardsRoom({0, 0.001, 0, 1e308}, {0, 0}, draws).bounceCountX,
              std::numeric_limits<std::int64_t>::max());
}

// Gravity falls to the lowest of start, floor and target, then rises to the target.
TEST(Trajectories, BilliardsDeceleratesToThreeQuartersOfThePathAtHalfTimeGravityFallsThenRises) {
    const BilliardsRoom room{0, 100, 0, 100, 1, 2};
    // x: 20 + 0.75 * (120 - 20) = 95; y: 20 + 0.75 * (280 - 20) = 215, reflected to 15.
    const Point halfway = billiardsPosition({20, 20}, {80, 80}, room, 0.5);
    EXPECT_NEAR(halfway.x, 95, 1e-9);
    EXPECT_NEAR(halfway.y, 15, 1e-9);
    EXPECT_EQ(billiardsPosition({20, 20}, {80, 80}, room, -0.2).x, 20);

    struct Case {
        double startY, endY, t, y;
    };
    // The worked values, then a start and a target below the floor of 900.
    const Case cases[] = {{100, 300, -0.1, 100}, {100, 300, 0.25, 300}, {100, 300, 0.5, 900},
                          {100, 300, 0.75, 450}, {100, 300, 1, 300},    {950, 300, 0.5, 950},
                          {100, 1000, 0.5, 1000}};
    for (const Case& c : cases) {
        EXPECT_NEAR(gravityPosition({0, c.startY}, {400, c.endY}, 900, c.t).y, c.y, 1e-9)
            << c.startY << " to " << c.endY << " at t = " << c.t;
    }
    EXPECT_NEAR(gravityPosition({0, 100}, {400, 300}, 900, 0.25).x, 100, 1e-9);
}

}  // namespace
}  // namespace tallowmere
