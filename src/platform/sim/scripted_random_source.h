// The random source of tests and benchmarks: scripted words first, then, when seeded, a fixed-seed
// generator, so that every run draws the same sequence.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <random>

#include "platform/random_source.h"

namespace tallowmere::sim {

class ScriptedRandomSource final : public RandomSource {
  public:
    // Replays `words` in order. Past their end an unseeded source counts an overdraw, which tests
    // check, and returns a word that no draw rejects so that the code under test goes on.
    ScriptedRandomSource(std::initializer_list<std::uint64_t> words = {}) : words_(words) {}

    // Continues with a Mersenne Twister from `seed` once the words are used up.
    static ScriptedRandomSource seeded(std::uint64_t seed,
                                       std::initializer_list<std::uint64_t> words = {}) {
        ScriptedRandomSource source(words);
        source.generator_.emplace(seed);
        return source;
    }

    // The word that uniformInRange(lo, hi) turns into `value` without rejecting it.
    static std::uint64_t wordFor(std::int64_t value, std::int64_t lo, std::int64_t hi) {
        const auto offset = [lo](std::int64_t x) {
            return static_cast<std::uint64_t>(x) - static_cast<std::uint64_t>(lo);
        };
        return offset(hi) + 1 + offset(value);
    }

    std::uint64_t nextWord() override {
        ++drawn_;
        if (!words_.empty()) {
            const std::uint64_t word = words_.front();
            words_.pop_front();
            return word;
        }
        if (generator_) {
            return (*generator_)();
        }
        ++overdraws_;
        return ~std::uint64_t{0};
    }

    std::size_t drawn() const { return drawn_; }
    std::size_t overdraws() const { return overdraws_; }

  private:
    std::deque<std::uint64_t> words_;
    std::optional<std::mt19937_64> generator_;
    std::size_t drawn_ = 0, overdraws_ = 0;
};

}  // namespace tallowmere::sim
