// Carries out a row's moves: at once for the instant easing, otherwise on a 60 Hz timer along the
// easing curve or one of the two trajectories, with progress taken from the clock.
#include <algorithm>

#include "engine/window_cascade_manager.h"
#include "motion/trajectories.h"
#include "settings/app_settings.h"

namespace tallowmere {
namespace {

constexpr double kTickInterval = 1.0 / 60.0;
constexpr double kMinimumDuration = 0.01;

Point interpolate(Point start, Point end, double progress) {
    return Point{start.x + (end.x - start.x) * progress, start.y + (end.y - start.y) * progress};
}

}  // namespace

void WindowCascadeManager::animateMoves(const std::vector<WindowMove>& moves,
                                        const std::optional<Screen>& screen) {
    if (animationTimer) {
        animationTimer->invalidate();
        animationTimer.reset();
    }
    const AppSettings& settings = ports_.settings;
    const EasingFunction chosen = settings.animationEasing();
    const EasingFunction easing = resolved(chosen, ports_.random);
    if (chosen == EasingFunction::random) {
        feedback_.showToast(displayName(easing), screen);
    }
    if (easing == EasingFunction::none) {
        for (const WindowMove& move : moves) {
            writePosition(move.window, move.end);
        }
        return;
    }

    AnimationRun run;
    run.easing = easing;
    run.moves = moves;
    const std::vector<Screen> allScreens = ports_.screens.screens();
    if (screen && !allScreens.empty() &&
        (easing == EasingFunction::billiards || easing == EasingFunction::gravity)) {
        const VisibleArea area =
            visibleAreaOf(screen->visibleFrame, allScreens.front().frame.size.height);
        for (const WindowMove& move : moves) {
            if (easing == EasingFunction::billiards) {
                run.rooms.push_back(makeBilliardsRoom(area, move.size, ports_.random));
            } else {
                run.floors.push_back(gravityFloorY(area, move.size));
            }
        }
    }
    // Written so that a NaN duration also falls back to the minimum.
    const double duration = settings.animationDuration();
    run.duration = duration >= kMinimumDuration ? duration : kMinimumDuration;
    run.startDate = ports_.loop.now();

    std::weak_ptr<WindowCascadeManager> weak = weak_from_this();
    animationTimer = ports_.loop.scheduleRepeatingTimer(kTickInterval, RunLoopMode::commonModes,
                                                        [weak, run = std::move(run)](Timer& timer) {
                                                            auto self = weak.lock();
                                                            if (!self) {
                                                                timer.invalidate();
                                                                return;
                                                            }
                                                            self->animationTick(timer, run);
                                                        });
}

void WindowCascadeManager::animationTick(Timer& timer, const AnimationRun& run) {
    const double t = std::min((ports_.loop.now() - run.startDate) / run.duration, 1.0);
    for (std::size_t i = 0; i < run.moves.size(); ++i) {
        const WindowMove& move = run.moves[i];
        Point position;
        if (t >= 1) {
            position = move.end;
        } else if (run.easing == EasingFunction::billiards && i < run.rooms.size()) {
            position = billiardsPosition(move.start, move.end, run.rooms[i], t);
        } else if (run.easing == EasingFunction::gravity && i < run.floors.size()) {
            position = gravityPosition(move.start, move.end, run.floors[i], t);
        } else {
            // A trajectory without its screen glides straight, like linear.
            position = interpolate(move.start, move.end, apply(run.easing, t, ports_.random));
        }
        writePosition(move.window, position);
    }
    if (t >= 1) {
        timer.invalidate();
        if (animationTimer.get() == &timer) {
            animationTimer.reset();
        }
    }
}

void WindowCascadeManager::writePosition(const AXElement& window, Point point) {
    const AXError error = ports_.accessibility.setAttributeValue(
        window, "AXPosition", AXValue{AXValueType::cgPoint, point.x, point.y});
    if (error != kAXErrorSuccess) {
        log(DiagLine() << "ウィンドウ位置の設定に失敗: " << error);
    }
}

}  // namespace tallowmere
