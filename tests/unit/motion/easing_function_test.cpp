#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "motion/easing_function.h"
#include "motion/test_random_sources.h"

namespace tallowmere {
namespace {

struct ReferenceCurve {
    EasingFunction easing;
    std::vector<double> progress;  // at t = 0, 0.25, 0.5, 0.75, 1
};

class EasingReferenceValues : public testing::TestWithParam<ReferenceCurve> {};

TEST_P(EasingReferenceValues, MatchToSixPlaces) {
    ScriptedRandomSource noDraws{};
    const ReferenceCurve& curve = GetParam();
    const double times[] = {0, 0.25, 0.5, 0.75, 1};
    for (std::size_t i = 0; i < curve.progress.size(); ++i) {
        // Half a unit in the sixth place, and a hair more for values that sit on the tie.
        EXPECT_NEAR(apply(curve.easing, times[i], noDraws), curve.progress[i], 5.000001e-7)
            << rawValue(curve.easing) << " at t = " << times[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Curves, EasingReferenceValues,
    testing::Values(ReferenceCurve{EasingFunction::easeIn, {0, 0.018424, 0.054947, 0.187297, 1}},
                    ReferenceCurve{EasingFunction::easeOut, {0, 0.775382, 0.965983, 0.997362, 1}},
                    ReferenceCurve{EasingFunction::easeInOut, {0, 0.042214, 0.676607, 0.966014, 1}},
                    ReferenceCurve{EasingFunction::bouncy,
                                   {0, 1.328034, 0.894304, 1.033419, 0.98965}},
                    ReferenceCurve{EasingFunction::snappy, {0, 0.81741, 1.087697, 1.064137, 1}}),
    [](const testing::TestParamInfo<ReferenceCurve>& info) {
        return std::string(rawValue(info.param.easing));
    });

TEST(EasingFunction, IdentityCasesReturnTimeUnchangedEvenOutsideTheUnitRange) {
    ScriptedRandomSource noDraws{};
    for (EasingFunction easing : {EasingFunction::none, EasingFunction::linear,
                                  EasingFunction::billiards, EasingFunction::gravity}) {
        for (double t : {-0.5, 0.0, 0.3, 1.0, 2.5}) {
            EXPECT_EQ(apply(easing, t, noDraws), t) << rawValue(easing) << " at " << t;
        }
    }
}

TEST(EasingFunction, SpringAndOvershootCurvesClampTimeOutsideTheUnitRange) {
    ScriptedRandomSource noDraws{};
    EXPECT_EQ(apply(EasingFunction::bouncy, -0.5, noDraws), 0);
    EXPECT_EQ(apply(EasingFunction::bouncy, 2, noDraws), apply(EasingFunction::bouncy, 1, noDraws));
    EXPECT_EQ(apply(EasingFunction::snappy, -1, noDraws),
              apply(EasingFunction::snappy, 0, noDraws));
    EXPECT_NEAR(apply(EasingFunction::snappy, -1, noDraws), 0, 1e-12);
    EXPECT_EQ(apply(EasingFunction::snappy, 5, noDraws), 1);
}

TEST(EasingFunction, BezierCurvesReturnForHugeAndInfiniteTimes) {
    // The solver must give up rather than spin where its tolerance is out of reach.
    ScriptedRandomSource noDraws{};
    const double inf = std::numeric_limits<double>::infinity();
    for (EasingFunction easing :
         {EasingFunction::easeIn, EasingFunction::easeOut, EasingFunction::easeInOut}) {
        for (double t : {1e12, -1e12, 1e300, inf, -inf}) {
            EXPECT_FALSE(std::isnan(apply(easing, t, noDraws))) << rawValue(easing) << " at " << t;
        }
        EXPECT_TRUE(std::isnan(apply(easing, std::nan(""), noDraws))) << rawValue(easing);
    }
}

TEST(EasingFunction, ResolvedKeepsEveryCaseButRandomWithoutDrawing) {
    ScriptedRandomSource noDraws{};
    for (EasingFunction easing : kAllEasingFunctions) {
        if (easing != EasingFunction::random) {
            EXPECT_EQ(resolved(easing, noDraws), easing);
        }
    }
}

TEST(EasingFunction, RandomPicksTheEightAnimatedCasesInDeclarationOrder) {
    ScriptedRandomSource words{0, 1, 2, 3, 4, 5, 6, 7, 15};
    const std::vector<EasingFunction> expected = {
        EasingFunction::linear,    EasingFunction::easeIn,  EasingFunction::easeOut,
        EasingFunction::easeInOut, EasingFunction::bouncy,  EasingFunction::snappy,
        EasingFunction::billiards, EasingFunction::gravity, EasingFunction::gravity,
    };
    for (EasingFunction want : expected) {
        EXPECT_EQ(resolved(EasingFunction::random, words), want);
    }
}

TEST(EasingFunction, RandomPickIsNearUniformAndNeverNoneOrRandom) {
    SeededRandomSource random{20240611};
    constexpr int kDraws = 80000;
    std::map<EasingFunction, int> counts;
    for (int i = 0; i < kDraws; ++i) {
        ++counts[resolved(EasingFunction::random, random)];
    }
    EXPECT_EQ(counts.count(EasingFunction::none), 0u);
    EXPECT_EQ(counts.count(EasingFunction::random), 0u);
    EXPECT_EQ(counts.size(), 8u);
    for (const auto& [easing, count] : counts) {
        // About four standard deviations either side of 1/8.
        EXPECT_NEAR(count, kDraws / 8, 400) << rawValue(easing);
    }
}

TEST(EasingFunction, ApplyOfRandomDrawsAFreshCaseOnEveryCall) {
    ScriptedRandomSource words{1, 6, 4};  // easeIn, then billiards, then bouncy
    EXPECT_NEAR(apply(EasingFunction::random, 0.5, words), 0.054947, 5e-7);
    EXPECT_EQ(apply(EasingFunction::random, 0.5, words), 0.5);
    EXPECT_NEAR(apply(EasingFunction::random, 0.5, words), 0.894304, 5e-7);
    EXPECT_EQ(words.remaining(), 0u);
}

TEST(EasingFunction, RawValuesRoundTripExactlyAndCaseSensitively) {
    for (EasingFunction easing : kAllEasingFunctions) {
        EXPECT_EQ(easingFunctionFromRaw(rawValue(easing)), easing) << rawValue(easing);
    }
    for (const char* unknown : {"", "EaseIn", "Linear", "RANDOM", "linear ", "ease_in"}) {
        EXPECT_EQ(easingFunctionFromRaw(unknown), std::nullopt) << '"' << unknown << '"';
    }
}

}  // namespace
}  // namespace tallowmere
