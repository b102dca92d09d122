// Random sources for tests: one that replays scripted words, one with a fixed seed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <random>

#include "platform/random_source.h"

namespace tallowmere {

// Replays the given words in order; drawing past the end is a test failure.
class ScriptedRandomSource final : public RandomSource {
  public:
    ScriptedRandomSource(std::initializer_list<std::uint64_t> words) : words_(words) {}

    // The word that an unbiased draw in [lo, hi] turns into `value`: a word of the second
    // residue block is never rejected and maps to its offset within the block.
    static std::uint64_t wordFor(std::int64_t value, std::int64_t lo, std::int64_t hi) {
        const auto bound = static_cast<std::uint64_t>(hi - lo) + 1;
        return bound + static_cast<std::uint64_t>(value - lo);
    }

    std::uint64_t nextWord() override {
        if (words_.empty()) {
            ADD_FAILURE() << "drew more random words than scripted";
            return 0;
        }
        const std::uint64_t word = words_.front();
        words_.pop_front();
        return word;
    }

    std::size_t remaining() const { return words_.size(); }

  private:
    std::deque<std::uint64_t> words_;
};

class SeededRandomSource final : public RandomSource {
  public:
    explicit SeededRandomSource(std::uint64_t seed) : engine_(seed) {}
    std::uint64_t nextWord() override { return engine_(); }

  private:
    std::mt19937_64 engine_;
};

}  // namespace tallowmere
