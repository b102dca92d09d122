// Lines one application's windows up in a single row on one screen: spaced, squeezed to the
// visible width, overlapped, or refused when the overlap would be too large.
#include "engine/row_plan.h"

#include <algorithm>
#include <limits>

#include "motion/trajectories.h"

namespace tallowmere {
namespace {

constexpr double kMaximumOverlapRatio = 0.7;
constexpr double kVerticalStepCap = 28.0;

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

std::optional<Screen> screenForX(const RowInput& input) {
    for (const Screen& screen : input.screens) {
        if (screen.frame.minX() <= input.anchorX && input.anchorX <= screen.frame.maxX()) {
            return screen;
        }
    }
    return input.mainScreen ? input.mainScreen() : std::nullopt;
}

}  // namespace

RowDecision planRow(const RowInput& input) {
    if (input.windows.empty() || input.screens.empty()) {
        return std::monostate{};
    }
    const std::optional<Screen> screen = screenForX(input);
    if (!screen) {
        return std::monostate{};
    }
    const std::vector<WindowSnapshot> row =
        orderRow(input.windows, input.newWindow, input.newWindowOnRight);
    const std::size_t n = row.size();

    double sumWidths = 0;
    double maxHeight = row.front().size.height;
    for (const WindowSnapshot& snapshot : row) {
        sumWidths += snapshot.size.width;
        maxHeight = std::max(maxHeight, snapshot.size.height);
    }
    const double span = input.spacing * static_cast<double>(n - 1) + sumWidths;

    const double primaryHeight = input.screens.front().frame.size.height;
    const Rect& visible = screen->visibleFrame;
    const VisibleArea area = visibleAreaOf(visible, primaryHeight);
    const double visW = visible.size.width;
    const double visH = visible.size.height;

    RowPlan plan{.screen = *screen};
    // step(i) = width(i) * stepScale + stepGap
    double stepScale = 1;
    double stepGap = input.spacing;
    plan.rowWidth = span;
    if (span <= visW) {
        // spaced: the configured gap
    } else if (sumWidths <= visW) {
        stepGap = (visW - sumWidths) / static_cast<double>(n - 1);
        plan.rowWidth = visW;
    } else {
        const double denominator = sumWidths - row.back().size.width;
        const double overlapRatio = denominator > 0 ? (sumWidths - visW) / denominator
                                                    : std::numeric_limits<double>::infinity();
        if (!(overlapRatio <= kMaximumOverlapRatio)) {
            return RowRefusal{sumWidths, visW, overlapRatio};
        }
        stepScale = 1 - overlapRatio;
        stepGap = 0;
        plan.rowWidth = visW;
        plan.overlapRatio = overlapRatio;
        plan.verticalStep = std::max(
            0.0, std::min((visH - maxHeight) / static_cast<double>(n - 1), kVerticalStepCap));
    }

    plan.anchorX = input.anchor == AlignmentAnchor::screenCenter ? visible.midX() : input.anchorX;
    plan.startX = plan.anchorX - plan.rowWidth / 2;
    if (plan.startX < visible.minX()) {
        plan.startX = visible.minX();
    } else if (plan.startX + plan.rowWidth > visible.maxX()) {
        plan.startX = visible.maxX() - plan.rowWidth;
    }

    double minTop = std::numeric_limits<double>::infinity();
    double maxBottom = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < n; ++i) {
        const double offset = plan.verticalStep * static_cast<double>(i);
        minTop = std::min(minTop, offset - row[i].size.height / 2);
        maxBottom = std::max(maxBottom, offset + row[i].size.height / 2);
    }
    plan.baseY = input.centroidY - (minTop + maxBottom) / 2;
    if (plan.baseY + minTop < area.top) {
        plan.baseY = area.top - minTop;
    } else if (plan.baseY + maxBottom > area.bottom) {
        plan.baseY = area.bottom - maxBottom;
    }

    plan.placements.reserve(n);
    double x = plan.startX;
    for (std::size_t i = 0; i < n; ++i) {
        const WindowSnapshot& snapshot = row[i];
        const Point end{
            x, plan.baseY + plan.verticalStep * static_cast<double>(i) - snapshot.size.height / 2};
        plan.placements.push_back(
            {snapshot, end, input.newWindow && snapshot.window == *input.newWindow});
        x += snapshot.size.width * stepScale + stepGap;
    }
    return plan;
}

}  // namespace tallowmere
