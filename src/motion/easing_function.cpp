#include "motion/easing_function.h"

#include <cstddef>

namespace tallowmere {
namespace {

struct EasingNames {
    std::string_view raw;
    std::string_view label;
};

// Indexed by the enumeration's declaration order.
constexpr EasingNames kNames[] = {
    {"none", "なし（瞬間移動）"},
    {"linear", "Linear（等速）"},
    {"easeIn", "Ease In（じわっと加速）"},
    {"easeOut", "Ease Out（じわっと減速）"},
    {"easeInOut", "Ease In-Out（じわっと加減速）"},
    {"bouncy", "Bouncy（ボヨヨ〜ン）"},
    {"snappy", "Snappy（シュイーン）"},
    {"billiards", "Billiards（跳ね回る）"},
    {"gravity", "Gravity（落下して跳ねる）"},
    {"random", "Random（毎回ランダム）"},
};
static_assert(std::size(kNames) == kAllEasingFunctions.size());

}  // namespace

std::string_view rawValue(EasingFunction easing) {
    return kNames[static_cast<std::size_t>(easing)].raw;
}

std::string_view displayName(EasingFunction easing) {
    return kNames[static_cast<std::size_t>(easing)].label;
}

std::optional<EasingFunction> easingFunctionFromRaw(std::string_view raw) {
    for (EasingFunction easing : kAllEasingFunctions) {
        if (rawValue(easing) == raw) {
            return easing;
        }
    }
    return std::nullopt;
}

}  // namespace tallowmere
