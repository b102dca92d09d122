// The feedback-window port: topmost, undecorated, click-through windows that never take focus.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/geometry.h"

namespace tallowmere {

struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    friend bool operator==(const Color&, const Color&) = default;
};

// What the overlay's content draws: a rectangle stroked with a colour and a line width, in the
// window's own coordinates (bottom-left origin).
struct BorderStroke {
    Color color;
    Rect rect;
    double lineWidth = 0;
};

// What the banner's content shows.
struct BannerContent {
    std::string text;
    Color background;
    double cornerRadius = 0;
    Color textColor;
    Rect labelFrame;  // in the banner's own coordinates
};

class FeedbackWindow {
  public:
    virtual ~FeedbackWindow() = default;
    virtual void setAlpha(double alpha) = 0;
    // Animates the alpha to the target over the duration, then runs the completion on the main
    // loop. A backend without a compositor may jump straight to the target.
    virtual void animateAlpha(double target, double seconds, std::function<void()> completion) = 0;
    virtual void close() = 0;
};

class FeedbackWindows {
  public:
    virtual ~FeedbackWindows() = default;

    // Rectangles are content rectangles in screen coordinates (bottom-left origin). Both windows
    // are shown at once, in front, without activating the program.
    virtual std::shared_ptr<FeedbackWindow> showOverlay(const Rect& frame,
                                                        const BorderStroke& border) = 0;
    virtual std::shared_ptr<FeedbackWindow> showBanner(const Rect& frame,
                                                       const BannerContent& content,
                                                       double initialAlpha) = 0;

    // The banner font: the system font at 15 points, semibold.
    virtual Size measureBannerText(std::string_view text) = 0;
};

}  // namespace tallowmere
