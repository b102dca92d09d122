// Where a row is centred horizontally: on the window group, or on the screen's visible area.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tallowmere {

enum class AlignmentAnchor { windowCentroid, screenCenter };

inline constexpr std::array<AlignmentAnchor, 2> kAllAlignmentAnchors = {
    AlignmentAnchor::windowCentroid, AlignmentAnchor::screenCenter};

constexpr std::string_view rawValue(AlignmentAnchor anchor) {
    return anchor == AlignmentAnchor::screenCenter ? "screenCenter" : "windowCentroid";
}

constexpr std::optional<AlignmentAnchor> alignmentAnchorFromRaw(std::string_view raw) {
    if (raw == "windowCentroid") {
        return AlignmentAnchor::windowCentroid;
    }
    if (raw == "screenCenter") {
        return AlignmentAnchor::screenCenter;
    }
    return std::nullopt;
}

}  // namespace tallowmere
