#include "platform/random_source.h"

namespace tallowmere {

std::uint64_t RandomSource::uniformBelow(std::uint64_t bound) {
    // Words below (2^64 mod bound) would make the low residues more likely; draw again.
    const std::uint64_t threshold = (0 - bound) % bound;
    for (;;) {
        const std::uint64_t word = nextWord();
        if (word >= threshold) {
            return word % bound;
        }
    }
}

std::int64_t RandomSource::uniformInRange(std::int64_t lo, std::int64_t hi) {
    // In unsigned arithmetic, which wraps where the signed would overflow: the span of the whole
    // range does not fit an int64, and neither does lo plus an offset above INT64_MAX.
    const auto base = static_cast<std::uint64_t>(lo);
    const std::uint64_t span = static_cast<std::uint64_t>(hi) - base;
    if (span == UINT64_MAX) {
        return static_cast<std::int64_t>(nextWord());
    }
    return static_cast<std::int64_t>(base + uniformBelow(span + 1));
}

SystemRandomSource::SystemRandomSource() {
    std::random_device device;
    std::seed_seq seeds{device(), device(), device(), device(),
                        device(), device(), device(), device()};
    engine_.seed(seeds);
}

}  // namespace tallowmere
