// Lines one application's windows up in a single row on one screen: spaced, squeezed to the
// visible width, overlapped, or refused when the overlap would be too large.
#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/window_cascade_manager.h"
#include "motion/trajectories.h"
#include "settings/app_settings.h"

namespace tallowmere {
namespace {

constexpr double kMaximumOverlapRatio = 0.7;
constexpr double kVerticalStepCap = 28.0;
constexpr double kOverlayFlashDuration = 0.8;

std::vector<WindowSnapshot> orderRow(const std::vector<WindowSnapshot>& windows,
                                     const std::optional<AXElement>& newWindow,
                                     bool newWindowOnRight) {
    auto byX = [](const WindowSnapshot& a, const WindowSnapshot& b) {
        return a.position.x < b.position.x;
    };
    if (!newWindowOnRight || !newWindow) {
        std::vector<WindowSnapshot> row = windows;
        std::stable_sort(row.begin(), row.end(), byX);
        return row;
    }
    std::vector<WindowSnapshot> row;
    for (const WindowSnapshot& snapshot : windows) {
        if (!(snapshot.window == *newWindow)) {
            row.push_back(snapshot);
        }
    }
    std::stable_sort(row.begin(), row.end(), byX);
    auto isNew = [&](const WindowSnapshot& snapshot) { return snapshot.window == *newWindow; };
    if (auto it = std::find_if(windows.begin(), windows.end(), isNew); it != windows.end()) {
        row.push_back(*it);
    }
    return row;
}

std::optional<Screen> screenForX(Screens& screens, const std::vector<Screen>& all, double x) {
    for (const Screen& screen : all) {
        if (screen.frame.minX() <= x && x <= screen.frame.maxX()) {
            return screen;
        }
    }
    return screens.mainScreen();
}

}  // namespace

void WindowCascadeManager::arrangeRow(const std::vector<WindowSnapshot>& windows,
                                      AlignmentAnchor anchor,
                                      const std::optional<AXElement>& newWindow, Pid pid,
                                      double anchorX, double centroidY) {
    if (windows.empty()) {
        return;
    }
    const AppSettings& settings = ports_.settings;
    const double spacing = settings.windowSpacingMargin();
    const std::vector<WindowSnapshot> row =
        orderRow(windows, newWindow, settings.alwaysOpenNewWindowOnRight());
    const std::size_t n = row.size();

    double sumWidths = 0;
    double maxHeight = row.front().size.height;
    for (const WindowSnapshot& snapshot : row) {
        sumWidths += snapshot.size.width;
        maxHeight = std::max(maxHeight, snapshot.size.height);
    }
    const double span = spacing * static_cast<double>(n - 1) + sumWidths;

    const std::vector<Screen> allScreens = ports_.screens.screens();
    if (allScreens.empty()) {
        return;
    }
    const std::optional<Screen> screen = screenForX(ports_.screens, allScreens, anchorX);
    if (!screen) {
        return;
    }
    const double primaryHeight = allScreens.front().frame.size.height;
    const Rect& visible = screen->visibleFrame;
    const VisibleArea area = visibleAreaOf(screen->visibleFrame, primaryHeight);
    const double visW = visible.size.width;
    const double visH = visible.size.height;

    // step(i) = width(i) * stepScale + stepGap
    double stepScale = 1;
    double stepGap = spacing;
    double rowWidth = span;
    double verticalStep = 0;
    if (span <= visW) {
        // spaced: the configured gap
    } else if (sumWidths <= visW) {
        stepGap = (visW - sumWidths) / static_cast<double>(n - 1);
        rowWidth = visW;
    } else {
        const double denominator = sumWidths - row.back().size.width;
        const double overlapRatio = denominator > 0 ? (sumWidths - visW) / denominator
                                                    : std::numeric_limits<double>::infinity();
        if (!(overlapRatio <= kMaximumOverlapRatio)) {
            log(DiagLine() << "全体幅" << sumWidths << "が画面幅" << visW << "を超え、重ね率"
                           << overlapRatio << "が上限を超えるため整列しない pid=" << pid);
            return;
        }
        stepScale = 1 - overlapRatio;
        stepGap = 0;
        rowWidth = visW;
        verticalStep = std::min((visH - maxHeight) / static_cast<double>(n - 1), kVerticalStepCap);
        if (verticalStep < 0) {
            verticalStep = 0;
        }
        log(DiagLine() << "重ねて整列 重ね率=" << overlapRatio << " 縦ずらし=" << verticalStep
                       << " pid=" << pid);
    }

    if (anchor == AlignmentAnchor::screenCenter) {
        anchorX = visible.midX();
    }
    double startX = anchorX - rowWidth / 2;
    if (startX < visible.minX()) {
        startX = visible.minX();
    } else if (startX + rowWidth > visible.maxX()) {
        startX = visible.maxX() - rowWidth;
    }

    double minTop = std::numeric_limits<double>::infinity();
    double maxBottom = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < n; ++i) {
        const double offset = verticalStep * static_cast<double>(i);
        minTop = std::min(minTop, offset - row[i].size.height / 2);
        maxBottom = std::max(maxBottom, offset + row[i].size.height / 2);
    }
    double baseY = centroidY - (minTop + maxBottom) / 2;
    if (baseY + minTop < area.top) {
        baseY = area.top - minTop;
    } else if (baseY + maxBottom > area.bottom) {
        baseY = area.bottom - maxBottom;
    }

    log(DiagLine() << "整列実行 pid=" << pid << " count=" << n << " span=" << rowWidth
                   << " anchorX=" << anchorX << "(" << rawValue(anchor) << ") startX=" << startX
                   << " centroidY=" << baseY);

    std::vector<WindowMove> moves;
    moves.reserve(n);
    double x = startX;
    for (std::size_t i = 0; i < n; ++i) {
        const WindowSnapshot& snapshot = row[i];
        const Point end{x,
                        baseY + verticalStep * static_cast<double>(i) - snapshot.size.height / 2};
        const bool isNew = newWindow && snapshot.window == *newWindow;
        if (settings.showFlashOverlay()) {
            feedback_.flashOverlay(isNew ? kSystemRedColor : kSystemGreenColor,
                                   Rect{end, snapshot.size}, kOverlayFlashDuration);
        }
        moves.push_back(WindowMove{snapshot.window, snapshot.position, end, snapshot.size});
        x += snapshot.size.width * stepScale + stepGap;
        recordKnownRect(snapshot.window, pid, end, snapshot.size);
    }
    animateMoves(moves, screen);
}

}  // namespace tallowmere
