#include "motion/feedback.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tallowmere {
namespace {

constexpr double kBorderInset = 2;
constexpr double kBorderLineWidth = 4;

constexpr double kBannerPaddingX = 40;
constexpr double kBannerPaddingY = 24;
constexpr double kBannerCornerRadius = 10;
constexpr Color kBannerBackground{0, 0, 0, 0.75};
constexpr Color kBannerTextColor{1, 1, 1, 1};
constexpr double kFadeInSeconds = 0.15;
constexpr double kHoldSeconds = 0.9;
constexpr double kFadeOutSeconds = 0.3;

}  // namespace

void Feedback::flashOverlay(const Color& color, const Rect& rect, double duration) {
    const std::vector<Screen> screens = screens_.screens();
    if (screens.empty()) {
        return;
    }
    const double primaryHeight = screens.front().frame.size.height;
    const Rect frame{{rect.origin.x, primaryHeight - rect.origin.y - rect.size.height}, rect.size};

    // Inset by half the line width so that the whole stroke lies inside the window.
    const BorderStroke border{
        color,
        Rect{{kBorderInset, kBorderInset},
             {rect.size.width - 2 * kBorderInset, rect.size.height - 2 * kBorderInset}},
        kBorderLineWidth};
    std::shared_ptr<FeedbackWindow> window = windows_.showOverlay(frame, border);
    if (!window) {
        return;
    }
    // The scheduled close is the overlay's only owner.
    loop_.dispatchAfter(duration, [window] { window->close(); });
}

void Feedback::showToast(std::string_view message, const std::optional<Screen>& screen) {
    const std::optional<Screen> target = screen ? screen : screens_.mainScreen();
    if (!target) {
        return;
    }
    const Size text = windows_.measureBannerText(message);
    const double width = text.width + kBannerPaddingX;
    const double height = text.height + kBannerPaddingY;

    // Centred horizontally, its centre a third of the visible height below the visible top.
    const Rect& visible = target->visibleFrame;
    const Rect frame{
        {visible.midX() - width / 2, visible.maxY() + visible.size.height / -3 - height / 2},
        {width, height}};
    BannerContent content{std::string(message), kBannerBackground, kBannerCornerRadius,
                          kBannerTextColor,
                          Rect{{(width - text.width) / 2, (height - text.height) / 2}, text}};
    std::shared_ptr<FeedbackWindow> window =
        windows_.showBanner(frame, std::move(content), /*initialAlpha=*/0);
    if (!window) {
        return;
    }

    // The banner outlives this call and possibly the engine that owns this Feedback, so the
    // steps hold only the window and the loop. The main loop outlives every feedback window.
    MainLoop& loop = loop_;
    window->animateAlpha(1, kFadeInSeconds, [window, &loop] {
        loop.dispatchAfter(kHoldSeconds, [window] {
            window->animateAlpha(0, kFadeOutSeconds, [window] { window->close(); });
        });
    });
}

}  // namespace tallowmere
