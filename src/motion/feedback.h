// The two kinds of transient feedback: a border flashed over a window's destination, and a
// message banner that fades in and out near the top of a screen.
#pragma once

#include <optional>
#include <string_view>

#include "platform/feedback_windows.h"
#include "platform/main_loop.h"
#include "platform/screens.h"

namespace tallowmere {

inline constexpr Color kSystemRedColor{1.0, 59.0 / 255.0, 48.0 / 255.0, 1.0};
inline constexpr Color kSystemGreenColor{52.0 / 255.0, 199.0 / 255.0, 89.0 / 255.0, 1.0};

// Fire and forget: nothing keeps a list of the windows; each closes itself on the main loop.
class Feedback {
  public:
    Feedback(Screens& screens, FeedbackWindows& windows, MainLoop& loop)
        : screens_(screens), windows_(windows), loop_(loop) {}

    // rect is in accessibility coordinates (top-left origin, y down).
    void flashOverlay(const Color& color, const Rect& rect, double duration);
    // Without a screen the main screen is used; with neither nothing is shown.
    void showToast(std::string_view message, const std::optional<Screen>& screen);

  private:
    Screens& screens_;
    FeedbackWindows& windows_;
    MainLoop& loop_;
};

}  // namespace tallowmere
