#include "bench/e2e/scenarios.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>

#include "bench/e2e/xcb_helpers.h"

namespace tallowmere::bench {
namespace {

// The last time one of `frames` moved after log entry `from`, if any did.
std::optional<double> lastMove(const FrameWatch& watch, size_t from,
                               const std::vector<xcb_window_t>& frames) {
    const auto& log = watch.log();
    for (size_t i = log.size(); i > from; --i) {
        if (std::find(frames.begin(), frames.end(), log[i - 1].frame) != frames.end()) {
            return log[i - 1].time;
        }
    }
    return std::nullopt;
}

void waitFramesStill(FrameWatch& watch, const ListChange& listed,
                     const std::vector<xcb_window_t>& frames, const SequenceOptions& options) {
    for (;;) {
        watch.pump(0.01);
        const double now = nowSeconds();
        const auto moved = lastMove(watch, listed.logIndex, frames);
        if (moved ? now - *moved >= options.quietSeconds
                  : now - listed.time >= options.firstMoveTimeout) {
            return;
        }
    }
}

// Replays the log: positions just before the list change, then the first moment every frame
// stands at its target.
std::optional<double> reachedAt(const FrameWatch& watch, std::map<xcb_window_t, Point> positions,
                                size_t logStart, const ListChange& listed,
                                const std::vector<xcb_window_t>& frames,
                                const std::vector<Point>& targets) {
    const auto& log = watch.log();
    const auto allThere = [&] {
        for (size_t i = 0; i < frames.size(); ++i) {
            const auto found = positions.find(frames[i]);
            if (found == positions.end() || found->second != targets[i]) {
                return false;
            }
        }
        return true;
    };
    for (size_t i = logStart; i < listed.logIndex; ++i) {
        positions[log[i].frame] = log[i].at;
    }
    if (allThere()) {
        return listed.time;
    }
    for (size_t i = listed.logIndex; i < log.size(); ++i) {
        positions[log[i].frame] = log[i].at;
        if (std::find(frames.begin(), frames.end(), log[i].frame) != frames.end() && allThere()) {
            return log[i].time;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<Step>> runSequence(FrameWatch& watch, BenchWindows& windows,
                                             const SequenceOptions& options) {
    std::vector<Step> steps;
    std::vector<xcb_window_t> frames;
    for (size_t count = 1; count <= options.count; ++count) {
        const auto before = watch.positions();
        const size_t logStart = watch.log().size();
        const xcb_window_t client = windows.open(static_cast<int>(count));
        const auto listed = watch.waitListed(client, 10);
        if (!listed) {
            return std::nullopt;
        }
        frames.push_back(watch.frameOf(client));
        if (count == 1 && options.afterFirstWindow && !options.afterFirstWindow()) {
            return std::nullopt;
        }
        waitFramesStill(watch, *listed, frames, options);

        Step step{.count = count};
        for (auto frame : frames) {
            const auto found = watch.positions().find(frame);
            step.finals.push_back(found != watch.positions().end() ? found->second : Point{});
        }
        std::vector<Point> targets = step.finals;
        if (options.targets != nullptr) {
            const auto given = options.targets->find(count);
            if (given != options.targets->end() && given->second.size() == count) {
                targets = given->second;
            }
        }
        const auto reached = reachedAt(watch, before, logStart, *listed, frames, targets);
        step.reached = reached.has_value() && step.finals == targets;
        step.reactionSeconds = reached ? *reached - listed->time : NAN;
        // The first frame to land on its target: the window manager's own placement of the new
        // frame (xfwm4 makes one just after listing it) is nobody's reaction.
        auto last = before;
        for (size_t i = logStart; i < watch.log().size(); ++i) {
            const auto& move = watch.log()[i];
            const auto frame = std::find(frames.begin(), frames.end(), move.frame);
            const bool moved = !last.contains(move.frame) || last[move.frame] != move.at;
            last[move.frame] = move.at;
            if (i >= listed->logIndex && moved && frame != frames.end() &&
                move.at == targets[static_cast<size_t>(frame - frames.begin())]) {
                step.firstMoveSeconds = move.time - listed->time;
                break;
            }
        }
        steps.push_back(step);
    }
    return steps;
}

std::optional<Glide> runGlide(FrameWatch& watch, BenchWindows& windows, double nominalSeconds) {
    const size_t logStart = watch.log().size();
    const xcb_window_t client = windows.open(static_cast<int>(windows.windows().size() + 1));
    const auto listed = watch.waitListed(client, 10);
    if (!listed) {
        return std::nullopt;
    }
    std::vector<xcb_window_t> frames;
    for (auto w : windows.windows()) {
        frames.push_back(watch.frameOf(w));
    }
    waitFramesStill(watch, *listed, frames,
                    {.firstMoveTimeout = nominalSeconds + 1, .quietSeconds = 0.3});

    // Only changes of position count as delivered updates; restacking repeats the old place.
    // The glide starts with the first move of a window that was already there, give or take part
    // of a frame: the new frame's changes well before it are the window manager placing it
    // (xfwm4 does, just after listing it).
    const xcb_window_t newFrame = watch.frameOf(client);
    std::map<xcb_window_t, Point> last;
    std::vector<bool> moved(watch.log().size(), false);
    double start = listed->time;
    bool found = false;
    for (size_t i = logStart; i < watch.log().size(); ++i) {
        const auto& move = watch.log()[i];
        moved[i] = last.contains(move.frame) && last[move.frame] != move.at;
        last[move.frame] = move.at;
        if (!found && i >= listed->logIndex && moved[i] && move.frame != newFrame) {
            start = move.time - 0.004;
            found = true;
        }
    }
    std::map<xcb_window_t, std::vector<double>> updates;
    for (size_t i = listed->logIndex; i < watch.log().size(); ++i) {
        if (moved[i] && watch.log()[i].time >= start) {
            updates[watch.log()[i].frame].push_back(watch.log()[i].time);
        }
    }
    Glide glide;
    std::vector<double> intervals;
    double sum = 0;
    glide.minUpdatesPerSecond = INFINITY;
    for (auto frame : frames) {
        const auto& times = updates[frame];
        if (times.empty()) {
            continue;
        }
        ++glide.movingWindows;
        const double rate = static_cast<double>(times.size()) / nominalSeconds;
        glide.minUpdatesPerSecond = std::min(glide.minUpdatesPerSecond, rate);
        sum += rate;
        for (size_t i = 1; i < times.size(); ++i) {
            intervals.push_back(times[i] - times[i - 1]);
        }
    }
    if (glide.movingWindows == 0) {
        glide.minUpdatesPerSecond = 0;
    }
    glide.meanUpdatesPerSecond = glide.movingWindows ? sum / glide.movingWindows : 0;
    glide.intervalP50 = percentile(intervals, 0.50);
    glide.intervalP95 = percentile(intervals, 0.95);
    glide.intervalMax = percentile(intervals, 1.0);
    for (auto frame : frames) {
        const auto found = watch.positions().find(frame);
        glide.finals.push_back(found != watch.positions().end() ? found->second : Point{});
    }
    return glide;
}

bool placeFrames(FrameWatch& watch, BenchWindows& windows, const std::vector<Point>& places) {
    std::vector<xcb_window_t> frames;
    for (size_t i = 0; i < places.size() && i < windows.windows().size(); ++i) {
        frames.push_back(watch.frameOf(windows.windows()[i]));
        windows.moveFrame(i, places[i].x, places[i].y);
    }
    const double deadline = nowSeconds() + 5;
    for (;;) {
        bool there = true;
        for (size_t i = 0; i < frames.size(); ++i) {
            const auto found = watch.positions().find(frames[i]);
            there = there && found != watch.positions().end() && found->second == places[i];
        }
        if (there) {
            return true;
        }
        if (nowSeconds() >= deadline) {
            return false;
        }
        watch.pump(0.02);
    }
}

void waitStill(FrameWatch& watch, double quietSeconds, double timeout) {
    const double start = nowSeconds();
    size_t seen = watch.log().size();
    double still = start;
    while (nowSeconds() - still < quietSeconds && nowSeconds() - start < timeout) {
        watch.pump(0.02);
        if (watch.log().size() != seen) {
            seen = watch.log().size();
            still = nowSeconds();
        }
    }
}

Targets targetsOf(const std::vector<Step>& steps) {
    Targets targets;
    for (const auto& step : steps) {
        targets[step.count] = step.finals;
    }
    return targets;
}

bool writeTargets(const Targets& targets, const std::string& path) {
    std::ofstream out(path);
    for (const auto& [count, row] : targets) {
        out << count;
        for (const auto& p : row) {
            out << ' ' << p.x << ' ' << p.y;
        }
        out << '\n';
    }
    return static_cast<bool>(out);
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return NAN;
    }
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

}  // namespace tallowmere::bench
