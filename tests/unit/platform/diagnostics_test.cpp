#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/diagnostics.h"
#include "platform/sim/scripted_random_source.h"

namespace tallowmere {
namespace {

using sim::ScriptedRandomSource;

// Shortest round trip with a fraction digit (the row layout's lines show the common cases); very
// large and very small numbers in full, too long for a small buffer.
TEST(FormatDouble, PrintsTheShortestTextThatReadsBackAsTheSameNumber) {
    // clang-format off
    const std::pair<double, std::string> cases[] = {
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {1e70, "10000000000000000725314363815292351261583744096465219555182101554790400.0"},
        {1.5e-60, "0." + std::string(59, '0') + "15"},
        {-std::numeric_limits<double>::denorm_min(), "-0." + std::string(323, '0') + "5"},
        {-std::numeric_limits<double>::min(), "-0." + std::string(307, '0') + "22250738585072014"},
    };
    // clang-format on
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(formatDouble(value), text) << value;
        EXPECT_EQ(std::strtod(formatDouble(value).c_str(), nullptr), value);
    }
    EXPECT_EQ(formatDouble(std::nan("")), "nan");
}

TEST(RandomSource, RejectsTheBiasedLowRangeAndIsInclusiveAtBothEndsUpToTheLimitsOfInt64) {
    // For bound 3, 2^64 mod 3 = 1: word 0 is biased and must be drawn again.
    ScriptedRandomSource biased{0, 0, 7};
    EXPECT_EQ(biased.uniformBelow(3), 1u);
    EXPECT_EQ(biased.drawn(), 3u);

    ScriptedRandomSource source{0 + 1, 2 + 3, 1 + 3};  // residues 1, 2, 1 modulo 3 (all unbiased)
    EXPECT_EQ(source.uniformInRange(1, 3), 2);
    EXPECT_EQ(source.uniformInRange(1, 3), 3);
    EXPECT_EQ(source.uniformInRange(1, 3), 2);

    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    // [-10, max] has 2^63 + 10 values; the word 2^63 + 9 is unbiased and is the last of them.
    // The whole range takes every word as it is, 2^64 - 1 being -1.
    ScriptedRandomSource wide{(std::uint64_t{1} << 63) + 9, ~std::uint64_t{0}, 15};
    EXPECT_EQ(wide.uniformInRange(-10, kMax), kMax);
    EXPECT_EQ(wide.uniformInRange(kMin, kMax), -1);
    EXPECT_EQ(wide.uniformInRange(kMin, kMin + 9), kMin + 5);
    EXPECT_EQ(wide.overdraws(), 0u);
}

}  // namespace
}  // namespace tallowmere
