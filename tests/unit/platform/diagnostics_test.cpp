#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/diagnostics.h"
#include "platform/sim/scripted_random_source.h"

namespace tallowmere {
namespace {

// Shortest round trip with a fraction digit (the row layout's lines show the common cases); very
// large and very small numbers in full, too long for a small buffer.
TEST(FormatDouble, PrintsTheShortestTextThatReadsBackAsTheSameNumber) {
    // clang-format off
    const std::pair<double, std::string> cases[] = {
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {1e70, "10000000000000000725314363815292351261583744096465219555182101554790400.0"},
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

// Inclusive ranges are drawn by the billiards rooms, whose tests check their ends.
TEST(RandomSource, DrawsAgainRatherThanFavourTheLowResidues) {
    // For bound 3, 2^64 mod 3 = 1: word 0 would make residue 0 likelier, so it is drawn again.
    sim::ScriptedRandomSource source{0, 0, 7};
    EXPECT_EQ(source.uniformBelow(3), 1u);
    EXPECT_EQ(source.drawn(), 3u);
}

}  // namespace
}  // namespace tallowmere
