// Random sources for tests: one that replays scripted words, one with a fixed seed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <random>

#include "platform/random_source.h"

namespace tallowmere {

// Replays its words in order; drawing past the end is a test failure.
class ScriptedRandomSource final : public RandomSource {
  public:
    ScriptedRandomSource(std::initializer_list<std::uint64_t> words = {}) : words_(words) {}

    // The word that uniformInRange(lo, hi) turns into `value` without rejecting it.
    static std::uint64_t wordFor(std::int64_t value, std::int64_t lo, std::int64_t hi) {
        return static_cast<std::uint64_t>(hi - lo) + 1 + static_cast<std::uint64_t>(value - lo);
    }
    std::uint64_t nextWord() override {
        if (words_.empty()) {
            ADD_FAILURE() << "drew more random words than scripted";
            return ~std::uint64_t{0};  // a word no draw rejects, so the test goes on
        }
        const std::uint64_t word = words_.front();
        words_.pop_front();
        return word;
    }

  private:
    std::deque<std::uint64_t> words_;
};

struct SeededRandomSource final : RandomSource {
    std::mt19937_64 engine{20240611};
    std::uint64_t nextWord() override { return engine(); }
};

}  // namespace tallowmere
