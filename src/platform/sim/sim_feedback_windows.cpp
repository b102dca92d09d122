#include "platform/sim/sim_feedback_windows.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace tallowmere::sim {

struct SimFeedbackWindows::Log {
    std::vector<FeedbackWindowRecord> records;
    std::vector<std::weak_ptr<FeedbackWindow>> objects;
};

class SimFeedbackWindows::Window final : public FeedbackWindow,
                                         public std::enable_shared_from_this<Window> {
  public:
    Window(SimMainLoop& loop, std::shared_ptr<Log> log, std::size_t index)
        : loop_(loop), log_(std::move(log)), index_(index) {}

    void setAlpha(double alpha) override {
        if (isOpen()) {
            record().alphaChanges.push_back({loop_.now(), alpha});
        }
    }

    // The alpha jumps to the target when the duration is over. Like a real window's animation,
    // the step dies with the window: if nobody holds the window any more, the completion never
    // runs (so a caller that forgets to keep its window alive is caught).
    void animateAlpha(double target, double seconds, std::function<void()> completion) override {
        std::weak_ptr<Window> weak = weak_from_this();
        loop_.dispatchAfter(seconds, [weak, target, completion = std::move(completion)] {
            auto self = weak.lock();
            if (!self) {
                return;
            }
            self->setAlpha(target);
            if (completion) {
                completion();
            }
        });
    }

    void close() override {
        if (isOpen()) {
            record().closeTime = loop_.now();
        }
    }

  private:
    FeedbackWindowRecord& record() { return log_->records[index_]; }
    bool isOpen() { return !record().closeTime; }

    SimMainLoop& loop_;
    std::shared_ptr<Log> log_;
    std::size_t index_;
};

FeedbackWindowKind FeedbackWindowRecord::kind() const {
    return border() ? FeedbackWindowKind::overlay : FeedbackWindowKind::banner;
}

bool FeedbackWindowRecord::isOpenAt(double time) const {
    return openTime <= time && (!closeTime || time < *closeTime);
}

double FeedbackWindowRecord::alphaAt(double time) const {
    double alpha = alphaChanges.empty() ? 1.0 : alphaChanges.front().alpha;
    for (const AlphaChange& change : alphaChanges) {
        if (change.time <= time) {
            alpha = change.alpha;
        }
    }
    return alpha;
}

SimFeedbackWindows::SimFeedbackWindows(SimMainLoop& loop)
    : loop_(loop), log_(std::make_shared<Log>()) {}

std::shared_ptr<FeedbackWindow> SimFeedbackWindows::showOverlay(const Rect& frame,
                                                                const BorderStroke& border) {
    return open(frame, border, /*hasShadow=*/false, /*initialAlpha=*/1);
}

std::shared_ptr<FeedbackWindow> SimFeedbackWindows::showBanner(const Rect& frame,
                                                               const BannerContent& content,
                                                               double initialAlpha) {
    return open(frame, content, /*hasShadow=*/true, initialAlpha);
}

Size SimFeedbackWindows::measureBannerText(std::string_view text) {
    double width = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            width += kAsciiWidth;
        } else if (byte >= 0xC0) {
            width += kOtherWidth;
        }
    }
    return {width, kTextHeight};
}

std::shared_ptr<FeedbackWindow> SimFeedbackWindows::open(
    const Rect& frame, std::variant<BorderStroke, BannerContent> content, bool hasShadow,
    double initialAlpha) {
    const double now = loop_.now();
    log_->records.push_back(FeedbackWindowRecord{
        frame, std::move(content), hasShadow, now, std::nullopt, {{now, initialAlpha}}});
    auto window = std::make_shared<Window>(loop_, log_, log_->records.size() - 1);
    log_->objects.push_back(window);
    return window;
}

const std::vector<FeedbackWindowRecord>& SimFeedbackWindows::windows() const {
    return log_->records;
}

std::vector<FeedbackWindowRecord> SimFeedbackWindows::openWindowsAt(double time) const {
    std::vector<FeedbackWindowRecord> open;
    std::copy_if(log_->records.begin(), log_->records.end(), std::back_inserter(open),
                 [time](const FeedbackWindowRecord& record) { return record.isOpenAt(time); });
    return open;
}

std::vector<FeedbackWindowRecord> SimFeedbackWindows::ofKind(FeedbackWindowKind kind) const {
    std::vector<FeedbackWindowRecord> matching;
    std::copy_if(log_->records.begin(), log_->records.end(), std::back_inserter(matching),
                 [kind](const FeedbackWindowRecord& record) { return record.kind() == kind; });
    return matching;
}

std::vector<FeedbackWindowRecord> SimFeedbackWindows::overlays() const {
    return ofKind(FeedbackWindowKind::overlay);
}

std::vector<FeedbackWindowRecord> SimFeedbackWindows::banners() const {
    return ofKind(FeedbackWindowKind::banner);
}

std::vector<std::string> SimFeedbackWindows::bannerTexts() const {
    std::vector<std::string> texts;
    for (const FeedbackWindowRecord& record : log_->records) {
        if (const BannerContent* banner = record.banner()) {
            texts.push_back(banner->text);
        }
    }
    return texts;
}

std::vector<Rect> SimFeedbackWindows::overlayFrames() const {
    std::vector<Rect> frames;
    for (const FeedbackWindowRecord& record : log_->records) {
        if (record.border()) {
            frames.push_back(record.frame);
        }
    }
    return frames;
}

std::vector<Color> SimFeedbackWindows::overlayColors() const {
    std::vector<Color> colors;
    for (const FeedbackWindowRecord& record : log_->records) {
        if (const BorderStroke* border = record.border()) {
            colors.push_back(border->color);
        }
    }
    return colors;
}

std::size_t SimFeedbackWindows::liveWindowCount() const {
    return static_cast<std::size_t>(
        std::count_if(log_->objects.begin(), log_->objects.end(),
                      [](const auto& weak) { return !weak.expired(); }));
}

}  // namespace tallowmere::sim
