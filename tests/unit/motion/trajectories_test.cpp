#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "motion/geometry_printing.h"
#include "motion/test_random_sources.h"
#include "motion/trajectories.h"

namespace tallowmere {
namespace {

constexpr std::int64_t kSteps = std::int64_t{1} << 53;

std::uint64_t bounceYWord(std::int64_t count) {
    return ScriptedRandomSource::wordFor(count, 1, 3);
}
std::uint64_t stepWord(std::int64_t k) {
    return ScriptedRandomSource::wordFor(k, 0, kSteps);
}

TEST(VisibleArea, FlipsAScreensVisibleFrameIntoTopLeftCoordinates) {
    const VisibleArea primary = visibleAreaOf(Rect{{0, 70}, {1440, 985}}, 1080);
    EXPECT_EQ(primary.left, 0);
    EXPECT_EQ(primary.right, 1440);
    EXPECT_EQ(primary.top, 25);
    EXPECT_EQ(primary.bottom, 1010);

    const VisibleArea below = visibleAreaOf(Rect{{1920, -200}, {1280, 1000}}, 1080);
    EXPECT_EQ(below.left, 1920);
    EXPECT_EQ(below.right, 3200);
    EXPECT_EQ(below.top, 280);
    EXPECT_EQ(below.bottom, 1280);
}

struct FoldCase {
    std::int64_t n;
    double q;
    double expected;
};

TEST(Fold, MatchesWorkedValuesOfARoomAHundredWide) {
    const FoldCase cases[] = {{1, 0.5, 70}, {1, 0.9, 90}, {1, 1, 80}, {2, 0.5, 50},
                              {2, 1, 80},   {1, 0, 20},   {3, 1, 80}};
    for (const FoldCase& c : cases) {
        EXPECT_NEAR(fold(20, 80, 0, 100, c.n, c.q), c.expected, 1e-9)
            << "n = " << c.n << ", q = " << c.q;
    }
}

TEST(Fold, ReflectsOffTheWallsExactlyBounceCountTimes) {
    for (std::int64_t n = 1; n <= 4; ++n) {
        int reflections = 0;
        double previous = fold(20, 80, 0, 100, n, 0);
        double direction = 0;
        for (int step = 1; step <= 2000; ++step) {
            const double position = fold(20, 80, 0, 100, n, step / 2000.0);
            ASSERT_GE(position, 0) << "n = " << n;
            ASSERT_LE(position, 100) << "n = " << n;
            const double moved = position - previous;
            if (direction == 0) {
                // Heads toward the larger coordinate first.
                EXPECT_GT(moved, 0) << "n = " << n;
            } else if (moved * direction < 0) {
                ++reflections;
            }
            direction = moved > 0 ? 1 : -1;
            previous = position;
        }
        EXPECT_EQ(reflections, n);
        EXPECT_NEAR(previous, 80, 1e-9) << "n = " << n;
    }
}

TEST(Fold, GoesStraightToTheTargetWhenTheRoomHasNoRange) {
    EXPECT_EQ(fold(20, 80, 0, 0.0001, 1, 0), 80);
    EXPECT_EQ(fold(20, 80, 50, 40, 2, 0.3), 80);
}

TEST(BilliardsPosition, DeceleratesWithProgressThreeQuartersAtHalfTime) {
    const BilliardsRoom room{0, 100, 0, 100, 1, 2};
    // x: 20 + 0.75 * (120 - 20) = 95; y: 20 + 0.75 * (280 - 20) = 215, reflected to 15.
    const Point halfway = billiardsPosition({20, 20}, {80, 80}, room, 0.5);
    EXPECT_NEAR(halfway.x, 95, 1e-9);
    EXPECT_NEAR(halfway.y, 15, 1e-9);
    EXPECT_EQ(billiardsPosition({20, 20}, {80, 80}, room, -0.2), (Point{20, 20}));
}

TEST(BilliardsRoom, SpansWhereTheWholeWindowStaysVisibleDownToTheGravityFloor) {
    ScriptedRandomSource words{bounceYWord(2), stepWord(0)};
    const BilliardsRoom room = makeBilliardsRoom({0, 1440, 25, 900}, {800, 600}, words);
    EXPECT_EQ(room.roomMinX, 0);
    EXPECT_EQ(room.roomMaxX, 640);
    EXPECT_EQ(room.roomMinY, 25);
    EXPECT_EQ(room.roomMaxY, 300);
    EXPECT_EQ(room.bounceCountY, 2);
    EXPECT_EQ(words.remaining(), 0u);
    EXPECT_EQ(gravityFloorY({0, 1440, 25, 900}, {800, 600}), 300);
}

TEST(BilliardsRoom, AxisWithoutRangeGoesStraightToItsTargetAndBouncesOnce) {
    ScriptedRandomSource words{bounceYWord(3)};  // no draw for f
    const BilliardsRoom room = makeBilliardsRoom({0, 1440, 25, 900}, {1440, 400}, words);
    EXPECT_EQ(room.bounceCountX, 1);
    EXPECT_EQ(room.bounceCountY, 3);
    for (double t : {0.0, 1.0 / 60, 0.5, 0.99}) {
        EXPECT_EQ(billiardsPosition({0, 100}, {0, 300}, room, t).x, 0) << "t = " << t;
    }
    EXPECT_EQ(billiardsPosition({7, 100}, {0, 300}, room, 0.1).x, 0);

    ScriptedRandomSource tall{bounceYWord(2)};  // as tall as the area: no draw for f either
    EXPECT_EQ(makeBilliardsRoom({0, 1440, 0, 900}, {500, 900}, tall).bounceCountX, 1);
}

struct BounceCase {
    double rangeX;
    std::int64_t bounceCountY;
    std::int64_t k;  // f = 0.6 + k / 2^53
    std::int64_t expectedX;
};

TEST(BilliardsRoom, RoundsTheHorizontalBounceCountHalvesAwayFromZero) {
    // Vertical range 1000 throughout; ratio = 1000 * bounceCountY * f / rangeX.
    const BounceCase cases[] = {
        {400, 1, 0, 2},       // 1.5
        {240, 1, 0, 3},       // 2.5: not to the even 2
        {250, 1, 0, 2},       // 2.4
        {1200, 1, 0, 1},      // 0.5
        {3000, 1, 0, 1},      // 0.2: at least one bounce
        {720, 3, 0, 3},       // 2.5 with three vertical bounces
        {640, 1, kSteps, 3},  // f = 1.6: 2.5
        {1000, 1, kSteps, 2}  // 1.6
    };
    for (const BounceCase& c : cases) {
        ScriptedRandomSource words{bounceYWord(c.bounceCountY), stepWord(c.k)};
        const BilliardsRoom room =
            makeBilliardsRoom({0, c.rangeX + 100, 0, 1100}, {100, 100}, words);
        EXPECT_EQ(room.bounceCountY, c.bounceCountY) << "rangeX " << c.rangeX;
        EXPECT_EQ(room.bounceCountX, c.expectedX) << "rangeX " << c.rangeX << ", k " << c.k;
    }
}

TEST(BilliardsRoom, SaturatesAnAbsurdRatioInsteadOfOverflowing) {
    ScriptedRandomSource words{bounceYWord(3), stepWord(kSteps)};
    const BilliardsRoom room = makeBilliardsRoom({0, 0.001, 0, 1e308}, {0, 0}, words);
    EXPECT_EQ(room.bounceCountX, std::numeric_limits<std::int64_t>::max());
}

TEST(Gravity, FallsToTheFloorThenRisesToTheTarget) {
    const std::vector<std::pair<double, double>> expected = {{-0.1, 100}, {0, 100},    {0.25, 300},
                                                             {0.5, 900},  {0.75, 450}, {1, 300}};
    for (const auto& [t, y] : expected) {
        EXPECT_NEAR(gravityPosition({0, 100}, {400, 300}, 900, t).y, y, 1e-9) << "t = " << t;
    }
    EXPECT_NEAR(gravityPosition({0, 100}, {400, 300}, 900, 0.25).x, 100, 1e-9);
    EXPECT_NEAR(gravityPosition({0, 100}, {400, 300}, 900, 0.75).x, 300, 1e-9);
}

struct PeakCase {
    double startY;
    double endY;
    double peak;
};

TEST(Gravity, PeakIsTheLowestOfStartFloorAndTargetAndEachHalfMovesOneWay) {
    const PeakCase cases[] = {{950, 300, 950}, {100, 1000, 1000}, {100, 300, 900}};
    for (const PeakCase& c : cases) {
        double previous = c.startY;
        for (int step = 1; step < 100; ++step) {
            const double t = step / 100.0;
            const double y = gravityPosition({0, c.startY}, {0, c.endY}, 900, t).y;
            if (t <= 0.5) {
                EXPECT_GE(y, previous) << "falling, start " << c.startY << " at t = " << t;
            } else {
                EXPECT_LE(y, previous) << "rising, start " << c.startY << " at t = " << t;
            }
            previous = y;
        }
        EXPECT_EQ(gravityPosition({0, c.startY}, {0, c.endY}, 900, 0.5).y, c.peak);
    }
}

}  // namespace
}  // namespace tallowmere
