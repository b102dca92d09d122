// A window of a followed application closed or was minimised: the rest close up around the
// place where the group stood, the departed window included.
#include "engine/window_cascade_manager.h"
#include "engine/window_gathering.h"
#include "settings/app_settings.h"

namespace tallowmere {

void WindowCascadeManager::handleWindowGone(const AXElement& window, Pid pid,
                                            std::optional<Point> position,
                                            std::optional<Size> size) {
    // Readings taken when the notice arrived beat the remembered rectangle.
    std::optional<Rect> closingRect;
    if (position && size) {
        closingRect = Rect{*position, *size};
    } else {
        closingRect = lookupKnownRect(window, pid);
    }
    forgetKnownRect(window, pid);

    auto found = observations.find(pid);
    if (found == observations.end()) {
        return;
    }
    const auto snapshots = gatherStandardWindows(found->second, pid, std::nullopt);
    if (!snapshots || snapshots->empty()) {
        return;
    }
    for (const WindowSnapshot& snapshot : *snapshots) {
        recordKnownRect(snapshot.window, pid, snapshot.position, snapshot.size);
    }
    std::vector<Rect> references = rectsOf(*snapshots);
    if (closingRect) {
        references.push_back(*closingRect);
    }
    const AlignmentAnchor anchor = ports_.settings.alignmentAnchor();
    if (anchor == AlignmentAnchor::windowCentroid && references.size() < 2) {
        return;
    }
    const Point reference = boundingBoxCentre(references);
    log(DiagLine() << "ウィンドウの終了を検知、残り" << snapshots->size() << "枚を再整列 pid="
                   << pid << " closingRect解決=" << (closingRect ? "成功" : "失敗"));
    arrangeRow(*snapshots, anchor, std::nullopt, pid, reference.x, reference.y);
}

}  // namespace tallowmere
