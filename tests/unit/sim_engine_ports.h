// An engine's ports on the simulated world (kept with the tests, which sit above both): the
// desktop answers for accessibility, the workspace and the screens.
#pragma once

#include "engine/engine_ports.h"
#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_feedback_windows.h"
#include "platform/sim/sim_main_loop.h"

namespace tallowmere::sim {

inline EnginePorts simEnginePorts(SimDesktop& desktop, SimMainLoop& loop,
                                  SimFeedbackWindows& feedbackWindows, RandomSource& random,
                                  DiagnosticSink& diagnostics, AppSettings& settings) {
    return {.accessibility = desktop,
            .workspace = desktop,
            .screens = desktop,
            .loop = loop,
            .feedbackWindows = feedbackWindows,
            .random = random,
            .diagnostics = diagnostics,
            .settings = settings};
}

}  // namespace tallowmere::sim
