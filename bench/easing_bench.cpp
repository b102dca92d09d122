// Cost of one progress evaluation per easing case, as the animation pays it on every tick.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "motion/easing_function.h"
#include "platform/sim/scripted_random_source.h"

namespace tallowmere {
namespace {

void easingApply(benchmark::State& state, EasingFunction easing) {
    // Fixed seed so that `random` picks the same sequence of cases on every run.
    auto random = sim::ScriptedRandomSource::seeded(0x7a11'0e3e);
    // Walk the unit interval in 1/64 steps so that no single input is folded away.
    std::uint32_t step = 0;
    for (auto _ : state) {
        const double t = static_cast<double>(step++ & 63u) / 64.0;
        benchmark::DoNotOptimize(apply(easing, t, random));
    }
}

const bool kRegistered = [] {
    for (EasingFunction easing : kAllEasingFunctions) {
        const std::string name = "BM_easingApply/" + std::string(rawValue(easing));
        benchmark::RegisterBenchmark(name.c_str(), easingApply, easing);
    }
    return true;
}();

}  // namespace
}  // namespace tallowmere
