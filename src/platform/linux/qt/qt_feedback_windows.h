// Feedback windows as Qt widgets that the window manager never manages: a border ring over a
// window's destination and a rounded banner, translucent with fades under a compositor, shaped
// and unfaded without one.
#pragma once

#include <QFont>
#include <QRect>
#include <QRegion>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/feedback_windows.h"
#include "platform/main_loop.h"
#include "platform/screens.h"

class QWidget;

namespace tallowmere::linux_qt {

// The banner font: a CJK-capable sans at 15 pixels, semibold.
QFont bannerFont();

class QtFeedbackWindows final : public FeedbackWindows {
  public:
    // Places a window whose size is set at the device rectangle (on Wayland, by asking the
    // compositor); without one, the window places itself (X11).
    using Placer = std::function<void(QWidget& widget, const QRect& device)>;

    // `compositing`: a compositing manager runs, so translucency and fades are visible.
    // `screens` are the core's, whose device pixels every rectangle here is in.
    QtFeedbackWindows(MainLoop& loop, Screens& screens, bool compositing, Placer placer = {});

    std::shared_ptr<FeedbackWindow> showOverlay(const Rect& frame,
                                                const BorderStroke& border) override;
    std::shared_ptr<FeedbackWindow> showBanner(const Rect& frame, const BannerContent& content,
                                               double initialAlpha) override;
    Size measureBannerText(std::string_view text) override;

  private:
    std::optional<QRect> deviceRect(const Rect& frame);
    void place(QWidget& widget, const QRect& device, const std::optional<QRegion>& shape);
    bool fades() const;

    MainLoop& loop_;
    Screens& screens_;
    bool compositing_;
    Placer placer_;
    QFont font_;
};

}  // namespace tallowmere::linux_qt
