// The stand-ins for the ports KWin does not serve yet.
#include "platform/linux/kwin/unserved_ports.h"

#include <QFontMetricsF>

#include "platform/linux/qt/qt_feedback_windows.h"

namespace tallowmere::kwin {
namespace {

// Carbon's eventInternalErr: not "taken by another program", which would mislead.
constexpr OSStatus kEventInternalErr = -9868;

class Unplaced final : public FeedbackWindow {
  public:
    explicit Unplaced(MainLoop& loop) : loop_(loop) {}
    void setAlpha(double) override {}
    void animateAlpha(double, double seconds, std::function<void()> completion) override {
        if (completion) {
            loop_.dispatchAfter(seconds, std::move(completion));
        }
    }
    void close() override {}

  private:
    MainLoop& loop_;
};

}  // namespace

std::shared_ptr<FeedbackWindow> UnplacedFeedbackWindows::showOverlay(const Rect&,
                                                                     const BorderStroke&) {
    return std::make_shared<Unplaced>(loop_);
}

std::shared_ptr<FeedbackWindow> UnplacedFeedbackWindows::showBanner(const Rect&,
                                                                    const BannerContent&, double) {
    return std::make_shared<Unplaced>(loop_);
}

Size UnplacedFeedbackWindows::measureBannerText(std::string_view text) {
    // Measured as the real banner would be, so that its layout stays the same.
    const QFontMetricsF metrics(linux_qt::bannerFont());
    const QString string = QString::fromUtf8(text.data(), qsizetype(text.size()));
    return Size{metrics.horizontalAdvance(string), metrics.height()};
}

RegisterHotKeyResult UnavailableHotKeys::registerHotKey(std::uint32_t, std::uint32_t,
                                                        EventHotKeyID) {
    return {kEventInternalErr, nullptr};
}

}  // namespace tallowmere::kwin
