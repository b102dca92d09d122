#include <gtest/gtest.h>

#include "motion/unit_bezier.h"

namespace tallowmere {
namespace {

TEST(UnitBezier, FindsTheParameterThroughAFlatInflectionWhereNewtonOvershoots) {
    // x(s) = 4(s - 0.5)^3 + 0.5 is flat at s = 0.5: Newton steps from near there fly far off the
    // curve and cannot return within eight iterations, so the bisection has to find s. With the
    // y control points equal to the x ones, y(s) = x(s) shows how close the solve came.
    const UnitBezier flat = UnitBezier::fromControlPoints(1, 1, 0, 0);
    for (double x : {0.5, 0.5 + 1e-5, 0.5 - 1e-5, 0.501, 0.499, 0.52, 0.48}) {
        EXPECT_NEAR(flat.solve(x, 1e-6), x, 1e-6) << "x = " << x;
    }
    for (int step = 0; step <= 1000; ++step) {
        const double x = step / 1000.0;
        EXPECT_NEAR(flat.solve(x, 1e-6), x, 1e-6) << "x = " << x;
    }
}

}  // namespace
}  // namespace tallowmere
