// One engine on a simulated 1440×900 screen with a 25-point menu bar (visible y 25..900 in the
// engine's coordinates): instant moves and no flashes unless a test asks for them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>

#include "engine/window_cascade_manager.h"
#include "platform/diagnostics.h"
#include "platform/sim/scripted_random_source.h"
#include "platform/sim/sim_preferences_store.h"
#include "settings/app_settings.h"
#include "sim_engine_ports.h"

namespace tallowmere {

inline void PrintTo(const Point& p, std::ostream* os) {
    *os << "(" << p.x << ", " << p.y << ")";
}

}  // namespace tallowmere

namespace tallowmere::testing {

using sim::WindowId;

class EngineFixture : public ::testing::Test {
  protected:
    EngineFixture() {
        settings.setAnimationEasing(EasingFunction::none);
        settings.setShowFlashOverlay(false);
        desktop.setScreens({{{{0, 0}, {1440, 900}}, {{0, 0}, {1440, 875}}}});
    }

    std::size_t linesWith(const std::string& text) const {
        return std::ranges::count_if(diagnostics.lines, [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }

    // The observer operations made for pid, as "add window 3 AXUIElementDestroyed", "detach"...
    std::vector<std::string> operationsOf(Pid pid) const {
        std::vector<std::string> ops;
        for (const auto& op : desktop.observerOperations()) {
            if (op.pid == pid) {
                ops.push_back(op.what + (op.element.empty() ? "" : " " + op.element) +
                              (op.notification.empty() ? "" : " " + op.notification));
            }
        }
        return ops;
    }

    static std::string watching(WindowId window) {
        return "add window " + std::to_string(window) + " AXUIElementDestroyed";
    }

    void expectRow(const std::vector<std::pair<WindowId, Point>>& row) const {
        for (const auto& [window, position] : row) {
            EXPECT_EQ(desktop.positionOf(window), position) << "window " << window;
        }
    }

    sim::SimMainLoop loop;
    sim::SimDesktop desktop{loop};
    sim::SimFeedbackWindows feedbackWindows{loop};
    sim::SimPreferencesStore store;
    AppSettings settings{store};
    // Fixed-seed, so that random picks and billiards draws repeat from run to run.
    sim::ScriptedRandomSource random = sim::ScriptedRandomSource::seeded(7);
    CapturingDiagnosticSink diagnostics;
    std::shared_ptr<WindowCascadeManager> engine = WindowCascadeManager::create(
        sim::simEnginePorts(desktop, loop, feedbackWindows, random, diagnostics, settings));
};

// XTerm and Files are watched; nothing is followed until the engine starts.
class ScenarioTest : public EngineFixture {
  protected:
    static constexpr double kDelay = 0.05;

    ScenarioTest() { settings.setMonitoredBundleIdentifiers({"XTerm", "org.gnome.Nautilus"}); }

    void startEngine() {
        engine->startMonitoring();
        loop.runDue();
    }

    Pid launch(const std::optional<std::string>& bundle, Pid pid = 0) {
        pid = desktop.launchApplication(bundle, pid);
        loop.runDue();
        return pid;
    }

    WindowId open(Pid pid, Point position, Size size = {400, 300}) {
        return desktop.openWindow(pid, {.position = position, .size = size});
    }

    // Past the notification delay and any animation (half a second at most here).
    void settle() { loop.advance(1.0); }
};

// XTerm was running when the engine started and is the frontmost application.
class XTermStory : public ScenarioTest {
  protected:
    XTermStory() {
        startEngine();
        desktop.setFrontmostApplication(xterm);
    }

    std::size_t subscriptions(WindowId window) const {
        return std::ranges::count(operationsOf(xterm), watching(window));
    }

    void expectClosingChangesNothing(WindowId window) {
        desktop.clearPositionWrites();
        diagnostics.lines.clear();
        desktop.closeWindow(window);
        settle();
        EXPECT_TRUE(desktop.positionWrites().empty() && diagnostics.lines.empty());
    }

    Pid xterm = launch("XTerm");
};

}  // namespace tallowmere::testing
