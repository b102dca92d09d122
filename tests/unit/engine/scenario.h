// A watched desktop in a user's terms: applications launch, windows open, close, minimise and
// come back, and time passes on the virtual clock.
#pragma once

#include <string>
#include <vector>

#include "engine_fixture.h"

namespace tallowmere::testing {

struct Placed {
    WindowId window;
    Point position;
};

class ScenarioTest : public EngineFixture {
  protected:
    static constexpr double kDelay = 0.05;

    ScenarioTest() {
        useSingleScreen();  // visible area x 0..1440, y 25..900 in engine coordinates
        settings.setMonitoredBundleIdentifiers({"XTerm", "org.gnome.Nautilus"});
    }

    void startEngine() {
        engine->startMonitoring();
        loop.runDue();
    }

    Pid launch(const std::optional<std::string>& bundle) {
        const Pid pid = desktop.launchApplication(bundle);
        loop.runDue();
        return pid;
    }

    WindowId open(Pid pid, Point position, Size size = {400, 300}) {
        return desktop.openWindow(pid, {.position = position, .size = size});
    }

    // Past the notification delay and any animation (half a second at most here).
    void settle() { loop.advance(1.0); }

    void expectRow(const std::vector<Placed>& placed) const {
        for (const Placed& p : placed) {
            EXPECT_EQ(desktop.positionOf(p.window), p.position) << "window " << p.window;
        }
    }

    std::vector<std::string> registrationsFor(Pid pid, WindowId window) const {
        std::vector<std::string> names;
        for (const auto& registration : desktop.registrations(pid)) {
            if (registration.element == "window " + std::to_string(window)) {
                names.push_back(registration.notification);
            }
        }
        return names;
    }
};

}  // namespace tallowmere::testing
