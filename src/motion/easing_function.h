// How a window move is timed: ten cases with fixed raw values and Japanese labels, mapping
// normalised time to progress.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "platform/random_source.h"

namespace tallowmere {

enum class EasingFunction {
    none,
    linear,
    easeIn,
    easeOut,
    easeInOut,
    bouncy,
    snappy,
    billiards,
    gravity,
    random,
};

inline constexpr std::array<EasingFunction, 10> kAllEasingFunctions = {
    EasingFunction::none,    EasingFunction::linear,    EasingFunction::easeIn,
    EasingFunction::easeOut, EasingFunction::easeInOut, EasingFunction::bouncy,
    EasingFunction::snappy,  EasingFunction::billiards, EasingFunction::gravity,
    EasingFunction::random,
};

std::string_view rawValue(EasingFunction easing);
// Exact, case-sensitive; any other string gives none.
std::optional<EasingFunction> easingFunctionFromRaw(std::string_view raw);
std::string_view displayName(EasingFunction easing);

// Progress at normalised time t. `random` draws a fresh case from `random` on every call.
double apply(EasingFunction easing, double t, RandomSource& random);
// `random` picks uniformly among the animated cases; every other case is itself.
EasingFunction resolved(EasingFunction easing, RandomSource& random);

}  // namespace tallowmere
