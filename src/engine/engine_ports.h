// Everything the engine needs from outside, passed by reference from the composition root.
#pragma once

#include "platform/accessibility.h"
#include "platform/diagnostics.h"
#include "platform/feedback_windows.h"
#include "platform/main_loop.h"
#include "platform/random_source.h"
#include "platform/screens.h"
#include "platform/workspace.h"

namespace tallowmere {

class AppSettings;

// The ports must outlive the engine and every piece of work it schedules on the main loop.
struct EnginePorts {
    Accessibility& accessibility;
    Workspace& workspace;
    Screens& screens;
    MainLoop& loop;
    FeedbackWindows& feedbackWindows;
    RandomSource& random;
    DiagnosticSink& diagnostics;
    AppSettings& settings;
};

}  // namespace tallowmere
