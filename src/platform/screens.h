// The screens port: ordered screens (first = primary) in bottom-left-origin coordinates.
#pragma once

#include <optional>
#include <vector>

#include "platform/geometry.h"

namespace tallowmere {

struct Screen {
    Rect frame;
    Rect visibleFrame;  // the frame less menu bars, docks and panels
    friend bool operator==(const Screen&, const Screen&) = default;
};

class Screens {
  public:
    virtual ~Screens() = default;
    virtual std::vector<Screen> screens() = 0;
    virtual std::optional<Screen> mainScreen() = 0;
};

}  // namespace tallowmere
