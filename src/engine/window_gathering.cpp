// Collects an application's standard, non-minimised, readable windows, and the reference point
// that a row is centred on.
#include "engine/window_gathering.h"

#include <algorithm>

#include "engine/window_cascade_manager.h"

namespace tallowmere {

Point boundingBoxCentre(const std::vector<Rect>& rects) {
    double minX = rects.front().minX();
    double maxX = rects.front().maxX();
    double minY = rects.front().minY();
    double maxY = rects.front().maxY();
    for (const Rect& rect : rects) {
        minX = std::min(minX, rect.minX());
        maxX = std::max(maxX, rect.maxX());
        minY = std::min(minY, rect.minY());
        maxY = std::max(maxY, rect.maxY());
    }
    return Point{(minX + maxX) * 0.5, (minY + maxY) * 0.5};
}

std::vector<Rect> rectsOf(const std::vector<WindowSnapshot>& snapshots) {
    std::vector<Rect> rects;
    rects.reserve(snapshots.size());
    for (const WindowSnapshot& snapshot : snapshots) {
        rects.push_back(Rect{snapshot.position, snapshot.size});
    }
    return rects;
}

std::optional<std::vector<WindowSnapshot>> WindowCascadeManager::gatherStandardWindows(
    const AppObservation& observation, Pid pid, const std::optional<AXElement>& exclude) {
    const auto elements = access_.readWindows(observation.axApp);
    if (!elements) {
        return std::nullopt;
    }
    std::vector<WindowSnapshot> snapshots;
    for (const AXElement& element : *elements) {
        if (exclude && element == *exclude) {
            continue;
        }
        if (!access_.isStandardWindow(element, pid)) {
            continue;
        }
        if (access_.readMinimized(element) == true) {
            continue;
        }
        const auto position = access_.readPosition(element);
        if (!position) {
            continue;
        }
        const auto size = access_.readSize(element);
        if (!size) {
            continue;
        }
        snapshots.push_back(WindowSnapshot{element, *position, *size});
    }
    return snapshots;
}

}  // namespace tallowmere
