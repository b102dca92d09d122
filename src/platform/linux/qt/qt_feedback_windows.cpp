#include "platform/linux/qt/qt_feedback_windows.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QRegion>
#include <QVariantAnimation>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/linux/qt/device_pixels.h"

namespace tallowmere::linux_qt {
namespace {

QColor toQColor(const Color& color) {
    auto unit = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; };
    return QColor::fromRgbF(
        static_cast<float>(unit(color.red)), static_cast<float>(unit(color.green)),
        static_cast<float>(unit(color.blue)), static_cast<float>(unit(color.alpha)));
}

// A rectangle in a window's own bottom-left-origin coordinates, in the widget's top-left ones.
QRectF flipped(const Rect& rect, double windowHeight) {
    return QRectF(rect.origin.x, windowHeight - rect.origin.y - rect.size.height, rect.size.width,
                  rect.size.height);
}

// Override-redirect (never managed, so never in the client list and never focused), on top and
// click-through; under a compositor the background is left transparent for the painting.
void prepare(QWidget& widget, bool compositing) {
    widget.setAttribute(Qt::WA_ShowWithoutActivating);
    widget.setAttribute(Qt::WA_TransparentForMouseEvents);
    widget.setFocusPolicy(Qt::NoFocus);
    if (compositing) {
        widget.setAttribute(Qt::WA_TranslucentBackground);
    }
}

// The content comes in device pixels, the widget's painter in logical ones.
void paintInDevicePixels(QPainter& painter, const QWidget& widget) {
    const double ratio = widget.devicePixelRatioF();
    painter.scale(1 / ratio, 1 / ratio);
}

constexpr Qt::WindowFlags kFlags = Qt::ToolTip | Qt::FramelessWindowHint |
                                   Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint |
                                   Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput;
// Where the compositor places our windows for us they are ordinary top-levels (a tooltip without
// a parent cannot exist on Wayland) that it keeps above and out of the way.
constexpr Qt::WindowFlags kPlacedFlags = Qt::Tool | Qt::FramelessWindowHint |
                                         Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                                         Qt::WindowTransparentForInput;

class OverlayWidget final : public QWidget {
  public:
    OverlayWidget(const BorderStroke& border, QSize deviceSize, bool compositing,
                  Qt::WindowFlags flags)
        : QWidget(nullptr, flags),
          border_(border),
          deviceSize_(deviceSize),
          compositing_(compositing) {}

    // The stroke's pixels: without a compositor the window itself is cut down to them, so what
    // lies inside the border stays visible.
    QRegion ring() const {
        const QRectF stroke = strokeRect();
        const double half = border_.lineWidth / 2;
        const QRect outer = stroke.adjusted(-half, -half, half, half).toAlignedRect();
        const QRect inner = stroke.adjusted(half, half, -half, -half).toRect();
        return QRegion(outer).subtracted(QRegion(inner));
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (!compositing_) {
            painter.fillRect(rect(), toQColor(border_.color));
            return;
        }
        paintInDevicePixels(painter, *this);
        QPen pen(toQColor(border_.color), border_.lineWidth);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(strokeRect());
    }

  private:
    QRectF strokeRect() const { return flipped(border_.rect, deviceSize_.height()); }

    BorderStroke border_;
    QSize deviceSize_;
    bool compositing_;
};

class BannerWidget final : public QWidget {
  public:
    BannerWidget(const BannerContent& content, const QFont& font, QSize deviceSize,
                 bool compositing, Qt::WindowFlags flags)
        : QWidget(nullptr, flags),
          content_(content),
          text_(QString::fromStdString(content.text)),
          font_(font),
          deviceSize_(deviceSize),
          compositing_(compositing) {}

    // Without a compositor the window is cut down to the rounded box.
    QRegion box() const { return QRegion(roundedBox().toFillPolygon().toPolygon()); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor background = toQColor(content_.background);
        if (compositing_) {
            painter.save();
            paintInDevicePixels(painter, *this);
            painter.fillPath(roundedBox(), background);
            painter.restore();
        } else {
            // Opaque, and the mask already rounds the corners: an antialiased edge would leave
            // a fringe of the widget's own background inside the mask.
            background.setAlphaF(1);
            painter.fillRect(rect(), background);
        }
        // The text in logical pixels, so that the font scales as everywhere else in Qt.
        const double ratio = devicePixelRatioF();
        const QRectF label = flipped(content_.labelFrame, deviceSize_.height());
        painter.setFont(font_);
        painter.setPen(toQColor(content_.textColor));
        painter.drawText(QRectF(label.topLeft() / ratio, label.size() / ratio),
                         Qt::AlignCenter | Qt::TextDontClip | Qt::TextSingleLine, text_);
    }

  private:
    QPainterPath roundedBox() const {
        QPainterPath path;
        const double radius = std::isfinite(content_.cornerRadius) ? content_.cornerRadius : 0;
        path.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(deviceSize_)), radius, radius);
        return path;
    }

    BannerContent content_;
    QString text_;
    QFont font_;
    QSize deviceSize_;
    bool compositing_;
};

class QtFeedbackWindow final : public FeedbackWindow {
  public:
    QtFeedbackWindow(QWidget* widget, MainLoop& loop, bool compositing)
        : widget_(widget), loop_(loop), compositing_(compositing) {}

    ~QtFeedbackWindow() override { close(); }

    void setAlpha(double alpha) override {
        if (!alive()) {
            return;
        }
        alpha = std::isfinite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 1.0;
        if (compositing_) {
            widget_->setWindowOpacity(alpha);
            widget_->setVisible(true);
        } else {
            // Without a compositor opacity is ignored: transparent means not shown.
            widget_->setVisible(alpha > 0);
        }
    }

    void animateAlpha(double target, double seconds, std::function<void()> completion) override {
        if (animation_) {
            // A new fade replaces the running one, whose completion still runs.
            animation_->disconnect();
            animation_->stop();
        }
        finishPending();
        pending_ = std::move(completion);
        if (!alive() || !compositing_ || !std::isfinite(seconds) || seconds <= 0) {
            setAlpha(target);
            finishPending();
            return;
        }
        widget_->setVisible(true);
        auto* animation = new QVariantAnimation(widget_);
        animation->setStartValue(widget_->windowOpacity());
        animation->setEndValue(std::isfinite(target) ? std::clamp(target, 0.0, 1.0) : 1.0);
        animation->setDuration(static_cast<int>(std::lround(std::min(seconds, 3600.0) * 1000)));
        QObject::connect(animation, &QVariantAnimation::valueChanged, widget_,
                         [widget = widget_](const QVariant& value) {
                             widget->setWindowOpacity(value.toDouble());
                         });
        // The animation belongs to the widget, so it and this connection die with the window.
        QObject::connect(animation, &QVariantAnimation::finished, animation,
                         [this] { finishPending(); });
        animation_ = animation;
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    }

    void close() override {
        if (alive()) {
            if (animation_) {
                animation_->stop();
            }
            widget_->hide();
            delete widget_.data();
        }
        finishPending();
    }

  private:
    // Widgets may be touched only while the application lives; QPointer notices a window that
    // was destroyed by someone else.
    bool alive() const { return QCoreApplication::instance() != nullptr && !widget_.isNull(); }

    // Each completion runs exactly once, on a later turn of the loop, never inside the caller.
    void finishPending() {
        if (pending_) {
            loop_.dispatchAfter(0, std::exchange(pending_, nullptr));
        }
    }

    QPointer<QWidget> widget_;
    QPointer<QVariantAnimation> animation_;
    MainLoop& loop_;
    bool compositing_;
    std::function<void()> pending_;
};

}  // namespace

QFont bannerFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans CJK"),
                      QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(15);
    font.setWeight(QFont::DemiBold);
    return font;
}

QtFeedbackWindows::QtFeedbackWindows(MainLoop& loop, Screens& screens, bool compositing,
                                     Placer placer)
    : loop_(loop),
      screens_(screens),
      compositing_(compositing),
      placer_(std::move(placer)),
      font_(bannerFont()) {}

// Qt's Wayland platform cannot set a window's opacity: where the compositor places our windows,
// they appear and go without fading, as they do on X11 without a compositor.
bool QtFeedbackWindows::fades() const {
    return compositing_ && !placer_;
}

void QtFeedbackWindows::place(QWidget& widget, const QRect& device,
                              const std::optional<QRegion>& shape) {
    if (placer_) {
        placer_(widget, device);
    } else {
        placeOnDevicePixels(widget, device, shape);
    }
}

// Flipped about the primary screen the core measured, in the core's own device pixels: Qt's
// idea of the screen is scaled.
std::optional<QRect> QtFeedbackWindows::deviceRect(const Rect& frame) {
    const std::vector<Screen> screens = screens_.screens();
    if (screens.empty()) {
        return std::nullopt;
    }
    return toDeviceRect(frame, screens.front().frame.size.height);
}

std::shared_ptr<FeedbackWindow> QtFeedbackWindows::showOverlay(const Rect& frame,
                                                               const BorderStroke& border) {
    const std::optional<QRect> geometry = deviceRect(frame);
    if (!geometry) {
        return nullptr;
    }
    auto* widget =
        new OverlayWidget(border, geometry->size(), compositing_, placer_ ? kPlacedFlags : kFlags);
    prepare(*widget, compositing_);
    place(*widget, *geometry, compositing_ ? std::nullopt : std::optional<QRegion>(widget->ring()));
    widget->show();
    return std::make_shared<QtFeedbackWindow>(widget, loop_, fades());
}

std::shared_ptr<FeedbackWindow> QtFeedbackWindows::showBanner(const Rect& frame,
                                                              const BannerContent& content,
                                                              double initialAlpha) {
    const std::optional<QRect> geometry = deviceRect(frame);
    if (!geometry) {
        return nullptr;
    }
    auto* widget = new BannerWidget(content, font_, geometry->size(), compositing_,
                                    placer_ ? kPlacedFlags : kFlags);
    prepare(*widget, compositing_);
    place(*widget, *geometry, compositing_ ? std::nullopt : std::optional<QRegion>(widget->box()));
    auto window = std::make_shared<QtFeedbackWindow>(widget, loop_, fades());
    window->setAlpha(initialAlpha);
    return window;
}

// In device pixels at the largest ratio: the banner's text is drawn at its own screen's, and fits
// on any screen.
Size QtFeedbackWindows::measureBannerText(std::string_view text) {
    const QFontMetricsF metrics(font_);
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const double ratio = DevicePixels::ofQt().largestRatio();
    return Size{metrics.horizontalAdvance(string) * ratio, metrics.height() * ratio};
}

}  // namespace tallowmere::linux_qt
