#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/diagnostics.h"
#include "platform/random_source.h"

namespace tallowmere {
namespace {

TEST(FormatDouble, PrintsShortestRoundTripWithAFractionDigit) {
    const std::pair<double, const char*> cases[] = {
        {1440.0, "1440.0"},
        {1.0 / 3.0, "0.3333333333333333"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {0.0, "0.0"},
        {-0.5, "-0.5"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1e21, "1000000000000000000000.0"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(formatDouble(value), text) << value;
    }
    EXPECT_EQ(formatDouble(std::nan("")), "nan");
}

class SequenceSource final : public RandomSource {
  public:
    explicit SequenceSource(std::vector<std::uint64_t> words) : words_(std::move(words)) {}
    std::uint64_t nextWord() override { return words_.at(next_++); }
    std::size_t used() const { return next_; }

  private:
    std::vector<std::uint64_t> words_;
    std::size_t next_ = 0;
};

TEST(RandomSource, RejectsTheBiasedLowRange) {
    // For bound 3, 2^64 mod 3 = 1: word 0 is biased and must be drawn again.
    SequenceSource source({0, 0, 7});
    EXPECT_EQ(source.uniformBelow(3), 1u);
    EXPECT_EQ(source.used(), 3u);
}

TEST(RandomSource, RangeIsInclusiveAtBothEnds) {
    SequenceSource source({0 + 1, 2 + 3, 1 + 3});  // residues 1, 2, 1 modulo 3 (all unbiased)
    EXPECT_EQ(source.uniformInRange(1, 3), 2);
    EXPECT_EQ(source.uniformInRange(1, 3), 3);
    EXPECT_EQ(source.uniformInRange(1, 3), 2);
}

}  // namespace
}  // namespace tallowmere
