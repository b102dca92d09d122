// The row rule on its own: which order, which gaps or overlap, and where each window lands, from
// the windows, the settings and the screens. Nothing here touches a window, so tests and the
// stress oracle ask it the same question the engine does.
#pragma once

#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "engine/window_snapshot.h"
#include "platform/screens.h"
#include "settings/alignment_anchor.h"

namespace tallowmere {

struct RowInput {
    std::vector<WindowSnapshot> windows;
    std::optional<AXElement> newWindow;
    bool newWindowOnRight = true;
    double spacing = 0;
    AlignmentAnchor anchor = AlignmentAnchor::windowCentroid;
    double anchorX = 0;  // the reference: where the row is centred unless on the screen
    double centroidY = 0;
    std::vector<Screen> screens;  // first = primary
    // Asked only when no screen holds anchorX.
    std::function<std::optional<Screen>()> mainScreen;
};

struct RowPlacement {
    WindowSnapshot window;
    Point end;
    bool isNew = false;
};

struct RowPlan {
    std::vector<RowPlacement> placements;  // left to right
    Screen screen;
    double rowWidth = 0;
    double anchorX = 0;  // the screen's centre when the anchor is the screen
    double startX = 0;
    double baseY = 0;                    // the row's vertical centre
    std::optional<double> overlapRatio;  // set when the windows overlap
    double verticalStep = 0;
};

// The row does not fit even overlapped as far as allowed.
struct RowRefusal {
    double sumWidths = 0;
    double visibleWidth = 0;
    double overlapRatio = 0;
};

// None: no windows, or no screen to put them on.
using RowDecision = std::variant<std::monostate, RowPlan, RowRefusal>;

RowDecision planRow(const RowInput& input);

}  // namespace tallowmere
