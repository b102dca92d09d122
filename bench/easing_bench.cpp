// Cost of one progress evaluation per easing case, as the animation pays it on every tick.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "motion/easing_function.h"

namespace tallowmere {
namespace {

// Fixed seed so that `random` picks the same sequence of cases on every run.
class SeededRandomSource final : public RandomSource {
  public:
    std::uint64_t nextWord() override { return engine_(); }

  private:
    std::mt19937_64 engine_{0x7a11'0e3e};
};

void easingApply(benchmark::State& state, EasingFunction easing) {
    SeededRandomSource random;
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
