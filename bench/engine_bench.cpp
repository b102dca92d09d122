// The engine's hot paths on the simulated desktop: one row layout, one animation tick, and a
// burst of window notifications handled end to end.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "engine/window_cascade_manager.h"
#include "platform/sim/scripted_random_source.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_feedback_windows.h"
#include "platform/sim/sim_main_loop.h"
#include "platform/sim/sim_preferences_store.h"
#include "settings/app_settings.h"
#include "sim_engine_ports.h"

namespace tallowmere {
namespace {

struct Desk {
    Desk() {
        desktop.setRecordPositionWrites(false);
        settings.setShowFlashOverlay(false);
        settings.setAnimationEasing(EasingFunction::easeInOut);
        settings.setMonitoredBundleIdentifiers({"XTerm"});
    }

    sim::SimMainLoop loop;
    sim::SimDesktop desktop{loop};
    sim::SimFeedbackWindows feedback{loop};
    sim::SimPreferencesStore store;
    AppSettings settings{store};
    sim::ScriptedRandomSource random = sim::ScriptedRandomSource::seeded(42);
    DiscardingDiagnosticSink diagnostics;
    std::shared_ptr<WindowCascadeManager> engine = WindowCascadeManager::create(
        sim::simEnginePorts(desktop, loop, feedback, random, diagnostics, settings));
};

std::vector<WindowSnapshot> openRow(Desk& desk, Pid pid, int count, double width) {
    std::vector<WindowSnapshot> snapshots;
    for (int i = 0; i < count; ++i) {
        const auto id =
            desk.desktop.openWindow(pid, {.position = {37.0 * i, 100.0 + i}, .size = {width, 300}});
        snapshots.push_back(
            {desk.desktop.windowElement(id), desk.desktop.positionOf(id), desk.desktop.sizeOf(id)});
    }
    return snapshots;
}

void BM_arrangeRow(benchmark::State& state) {
    Desk desk;
    desk.settings.setAnimationEasing(EasingFunction::none);
    const int n = static_cast<int>(state.range(0));
    const Pid pid = desk.desktop.addRunningApplication("XTerm");
    // Narrow enough that every size arranges (spaced up to 8, overlapped beyond).
    const auto snapshots = openRow(desk, pid, n, 1900.0 * 2 / n);
    for (auto _ : state) {
        desk.engine->arrangeRow(snapshots, AlignmentAnchor::windowCentroid, std::nullopt, pid, 700,
                                400);
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_arrangeRow)->Arg(2)->Arg(8)->Arg(32)->Arg(128);

class BenchTimer final : public Timer {
  public:
    void invalidate() override {}
    bool isValid() const override { return true; }
};

void BM_animationTick(benchmark::State& state) {
    Desk desk;
    const Pid pid = desk.desktop.addRunningApplication("XTerm");
    const auto snapshots = openRow(desk, pid, static_cast<int>(state.range(0)), 100);
    WindowCascadeManager::AnimationRun run;
    run.duration = 1.0;
    run.easing = EasingFunction::easeInOut;
    for (const auto& s : snapshots) {
        run.moves.push_back(
            {s.window, s.position, {s.position.x + 500, s.position.y + 50}, s.size});
    }
    desk.loop.advance(0.37);
    BenchTimer timer;
    for (auto _ : state) {
        desk.engine->animationTick(timer, run);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_animationTick)->Arg(10);

// 50 windows open within 10 ms of virtual time, each handling runs to the end of its
// animation, then the windows close one by one.
void BM_windowBurst(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        Desk desk;
        desk.engine->startMonitoring();
        const Pid pid = desk.desktop.launchApplication("XTerm");
        desk.loop.runDue();
        std::vector<sim::WindowId> windows;
        for (int i = 0; i < n; ++i) {
            windows.push_back(
                desk.desktop.openWindow(pid, {.position = {29.0 * i, 100}, .size = {60, 200}}));
            desk.loop.advance(0.01 / n);
        }
        desk.loop.advance(2.0);
        for (auto id : windows) {
            desk.desktop.closeWindow(id);
            desk.loop.advance(0.6);
        }
        benchmark::DoNotOptimize(desk.engine->knownWindowRects.size());
    }
    state.counters["notifications"] = 2.0 * n;
    state.counters["per_notification"] = benchmark::Counter(
        2.0 * n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_windowBurst)->Arg(50)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tallowmere
