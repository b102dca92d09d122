// The system random source: uniform 64-bit words, and unbiased draws built on them.
#pragma once

#include <cstdint>
#include <random>

namespace tallowmere {

class RandomSource {
  public:
    virtual ~RandomSource() = default;
    virtual std::uint64_t nextWord() = 0;

    // Uniform in [0, bound) by rejection of the biased low range; bound must be > 0.
    std::uint64_t uniformBelow(std::uint64_t bound);
    // Uniform in [lo, hi], both inclusive.
    std::int64_t uniformInRange(std::int64_t lo, std::int64_t hi);
};

// A Mersenne Twister seeded from std::random_device.
class SystemRandomSource final : public RandomSource {
  public:
    SystemRandomSource();
    std::uint64_t nextWord() override { return engine_(); }

  private:
    std::mt19937_64 engine_;
};

}  // namespace tallowmere
