// Acts on the row rule's decision: says what it decided, flashes the destinations, remembers
// where each window goes and starts the move.
#include "engine/row_plan.h"
#include "engine/window_cascade_manager.h"
#include "settings/app_settings.h"

namespace tallowmere {
namespace {

constexpr double kOverlayFlashDuration = 0.8;

}  // namespace

void WindowCascadeManager::arrangeRow(const std::vector<WindowSnapshot>& windows,
                                      AlignmentAnchor anchor,
                                      const std::optional<AXElement>& newWindow, Pid pid,
                                      double anchorX, double centroidY) {
    if (windows.empty()) {
        return;
    }
    const AppSettings& settings = ports_.settings;
    const RowInput input{windows,
                         newWindow,
                         settings.alwaysOpenNewWindowOnRight(),
                         settings.windowSpacingMargin(),
                         anchor,
                         anchorX,
                         centroidY,
                         ports_.screens.screens(),
                         [this] { return ports_.screens.mainScreen(); }};
    const RowDecision decision = planRow(input);
    if (const auto* refusal = std::get_if<RowRefusal>(&decision)) {
        log(DiagLine() << "全体幅" << refusal->sumWidths << "が画面幅" << refusal->visibleWidth
                       << "を超え、重ね率" << refusal->overlapRatio
                       << "が上限を超えるため整列しない pid=" << pid);
        return;
    }
    const auto* plan = std::get_if<RowPlan>(&decision);
    if (!plan) {
        return;
    }
    if (plan->overlapRatio) {
        log(DiagLine() << "重ねて整列 重ね率=" << *plan->overlapRatio
                       << " 縦ずらし=" << plan->verticalStep << " pid=" << pid);
    }
    log(DiagLine() << "整列実行 pid=" << pid << " count=" << plan->placements.size() << " span="
                   << plan->rowWidth << " anchorX=" << plan->anchorX << "(" << rawValue(anchor)
                   << ") startX=" << plan->startX << " centroidY=" << plan->baseY);

    std::vector<WindowMove> moves;
    moves.reserve(plan->placements.size());
    for (const RowPlacement& placement : plan->placements) {
        const WindowSnapshot& snapshot = placement.window;
        if (settings.showFlashOverlay()) {
            feedback_.flashOverlay(placement.isNew ? kSystemRedColor : kSystemGreenColor,
                                   Rect{placement.end, snapshot.size}, kOverlayFlashDuration);
        }
        moves.push_back(
            WindowMove{snapshot.window, snapshot.position, placement.end, snapshot.size});
        recordKnownRect(snapshot.window, pid, placement.end, snapshot.size);
    }
    animateMoves(moves, plan->screen);
}

}  // namespace tallowmere
