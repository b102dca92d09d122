// A simulated desktop with one engine on it, for the engine's tests and the scenario stories.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "engine/window_cascade_manager.h"
#include "platform/diagnostics.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_feedback_windows.h"
#include "platform/sim/sim_main_loop.h"
#include "platform/sim/sim_preferences_store.h"
#include "settings/app_settings.h"

namespace tallowmere {

inline void PrintTo(const Point& p, std::ostream* os) {
    *os << "(" << p.x << ", " << p.y << ")";
}
inline void PrintTo(const Size& s, std::ostream* os) {
    *os << s.width << "×" << s.height;
}
inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.origin.x << ", " << r.origin.y << ", " << r.size.width << ", " << r.size.height
        << ")";
}

}  // namespace tallowmere

namespace tallowmere::testing {

using sim::WindowId;
using sim::WindowSpec;

// A fixed-seed generator, so that random picks and billiards draws repeat from run to run.
class SeededRandom final : public RandomSource {
  public:
    explicit SeededRandom(std::uint64_t seed = 7) : engine_(seed) {}
    std::uint64_t nextWord() override { return engine_(); }

  private:
    std::mt19937_64 engine_;
};

inline Screen screenOf(Rect frame, Rect visible) {
    return Screen{frame, visible};
}

class EngineFixture : public ::testing::Test {
  protected:
    EngineFixture() {
        // Predictable defaults for geometry tests: instant moves, no flashes; tests that need
        // animation or flashes say so.
        settings.setAnimationEasing(EasingFunction::none);
        settings.setShowFlashOverlay(false);
    }

    // One 1440×900 screen whose visible frame is (0, 0, 1440, 875): a 25-point menu bar.
    void useSingleScreen(double width = 1440, double height = 900, double menuBar = 25) {
        desktop.setScreens(
            {screenOf({{0, 0}, {width, height}}, {{0, 0}, {width, height - menuBar}})});
        desktop.setMainScreenIndex(0);
    }

    WindowSnapshot snapshot(WindowId id) const {
        return WindowSnapshot{desktop.windowElement(id), desktop.positionOf(id),
                              desktop.sizeOf(id)};
    }

    std::vector<std::string> linesContaining(const std::string& text) const {
        std::vector<std::string> found;
        std::copy_if(diagnostics.lines.begin(), diagnostics.lines.end(), std::back_inserter(found),
                     [&](const std::string& line) { return line.find(text) != std::string::npos; });
        return found;
    }

    sim::SimMainLoop loop;
    sim::SimDesktop desktop{loop};
    sim::SimFeedbackWindows feedbackWindows{loop};
    sim::SimPreferencesStore store;
    AppSettings settings{store};
    SeededRandom random;
    CapturingDiagnosticSink diagnostics;
    std::shared_ptr<WindowCascadeManager> engine = WindowCascadeManager::create(
        {desktop, desktop, desktop, loop, feedbackWindows, random, diagnostics, settings});
};

}  // namespace tallowmere::testing
