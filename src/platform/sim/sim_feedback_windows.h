// Feedback windows on the simulated desktop: nothing is drawn; every window is recorded with its
// frame, content, open and close times and alpha over time on the virtual clock.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/feedback_windows.h"
#include "platform/sim/sim_main_loop.h"

namespace tallowmere::sim {

enum class FeedbackWindowKind { overlay, banner };

struct AlphaChange {
    double time = 0;
    double alpha = 0;
};

struct FeedbackWindowRecord {
    Rect frame;  // bottom-left origin
    std::variant<BorderStroke, BannerContent> content;
    bool hasShadow = false;
    double openTime = 0;
    std::optional<double> closeTime;
    std::vector<AlphaChange> alphaChanges;  // the first entry is the alpha at open

    FeedbackWindowKind kind() const;
    const BorderStroke* border() const { return std::get_if<BorderStroke>(&content); }
    const BannerContent* banner() const { return std::get_if<BannerContent>(&content); }
    // Open from its open time up to, not including, its close time.
    bool isOpenAt(double time) const;
    // The alpha in force at a time, changes made at that very time included.
    double alphaAt(double time) const;
};

// Text metrics are fixed so that banner geometry is exact in tests: every ASCII character is
// 10.0 wide, every other code point 15.0 (one em of the 15-point font, as CJK glyphs are), and
// any text, the empty one included, is 18.0 high. UTF-8 continuation bytes add no width.
class SimFeedbackWindows final : public FeedbackWindows {
  public:
    static constexpr double kAsciiWidth = 10.0;
    static constexpr double kOtherWidth = 15.0;
    static constexpr double kTextHeight = 18.0;

    explicit SimFeedbackWindows(SimMainLoop& loop);

    std::shared_ptr<FeedbackWindow> showOverlay(const Rect& frame,
                                                const BorderStroke& border) override;
    std::shared_ptr<FeedbackWindow> showBanner(const Rect& frame, const BannerContent& content,
                                               double initialAlpha) override;
    Size measureBannerText(std::string_view text) override;

    // Every window ever shown, in the order shown.
    const std::vector<FeedbackWindowRecord>& windows() const;
    std::vector<FeedbackWindowRecord> openWindowsAt(double time) const;
    std::vector<FeedbackWindowRecord> overlays() const;
    std::vector<FeedbackWindowRecord> banners() const;
    std::vector<std::string> bannerTexts() const;
    std::vector<Rect> overlayFrames() const;
    std::vector<Color> overlayColors() const;

    // Window objects still referenced by someone (a pending close, an animation step). Zero once
    // everything has closed, unless a window is leaked.
    std::size_t liveWindowCount() const;

  private:
    class Window;
    struct Log;

    std::shared_ptr<FeedbackWindow> open(const Rect& frame,
                                         std::variant<BorderStroke, BannerContent> content,
                                         bool hasShadow, double initialAlpha);
    std::vector<FeedbackWindowRecord> ofKind(FeedbackWindowKind kind) const;

    SimMainLoop& loop_;
    // Shared with the windows, which may outlive this recorder inside pending loop work.
    std::shared_ptr<Log> log_;
};

}  // namespace tallowmere::sim
