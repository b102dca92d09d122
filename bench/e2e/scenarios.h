// The measured scenarios: windows opened one by one under a contender, each step timed from the
// client list change to the moment every frame of the class stands at its place; the animation's
// delivered updates; the settled program's idle cost.
#pragma once

#include <cmath>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "bench/e2e/bench_windows.h"
#include "bench/e2e/contender.h"
#include "bench/e2e/frame_watch.h"

namespace tallowmere::bench {

// Where the class's k windows (in opening order) stand once the k-th has appeared.
using Targets = std::map<size_t, std::vector<Point>>;

struct Step {
    size_t count = 0;
    double reactionSeconds = 0;     // list change → all frames at their targets
    double firstMoveSeconds = NAN;  // list change → the first frame moved
    bool reached = false;           // every frame ended exactly on its target
    std::vector<Point> finals;      // where the frames ended, in opening order
};

struct SequenceOptions {
    size_t count = 16;
    const Targets* targets = nullptr;  // none: the final places are the targets
    double firstMoveTimeout = 1.0;     // a step where nothing moves ends after this
    double quietSeconds = 0.2;         // a step ends once the frames have been still this long
    // Run once the first window is listed (a contender that must see it before it is ready).
    std::function<bool()> afterFirstWindow;
};

// Opens windows 1..count; the windows stay open for the caller to close.
std::optional<std::vector<Step>> runSequence(FrameWatch& watch, BenchWindows& windows,
                                             const SequenceOptions& options);

struct Glide {
    double minUpdatesPerSecond = 0;  // per window, over the nominal duration
    double meanUpdatesPerSecond = 0;
    double intervalP50 = 0;  // seconds between two updates of one frame
    double intervalP95 = 0;
    double intervalMax = 0;
    size_t movingWindows = 0;
    std::vector<Point> finals;
};

// Opens one more window and follows the glide it causes until the frames are still.
std::optional<Glide> runGlide(FrameWatch& watch, BenchWindows& windows, double nominalSeconds);

// Moves the open windows' frames to `places` (in opening order) and waits until they stand there.
bool placeFrames(FrameWatch& watch, BenchWindows& windows, const std::vector<Point>& places);

// Waits until no frame has moved for `quietSeconds`.
void waitStill(FrameWatch& watch, double quietSeconds, double timeout);

Targets targetsOf(const std::vector<Step>& steps);
bool writeTargets(const Targets& targets, const std::string& path);
double percentile(std::vector<double> values, double p);

}  // namespace tallowmere::bench
