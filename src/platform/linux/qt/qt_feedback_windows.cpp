#include "platform/linux/qt/qt_feedback_windows.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QVariantAnimation>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <utility>

namespace tallowmere::linux_qt {
namespace {

constexpr double kMinCoordinate = -32768;
constexpr double kMaxCoordinate = 32767;

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
void prepare(QWidget& widget, const QRect& geometry, bool compositing) {
    widget.setAttribute(Qt::WA_ShowWithoutActivating);
    widget.setAttribute(Qt::WA_TransparentForMouseEvents);
    widget.setFocusPolicy(Qt::NoFocus);
    if (compositing) {
        widget.setAttribute(Qt::WA_TranslucentBackground);
    }
    widget.setGeometry(geometry);
}

constexpr Qt::WindowFlags kFlags = Qt::ToolTip | Qt::FramelessWindowHint |
                                   Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint |
                                   Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput;

class OverlayWidget final : public QWidget {
  public:
    OverlayWidget(const BorderStroke& border, bool compositing)
        : QWidget(nullptr, kFlags), border_(border), compositing_(compositing) {}

    // Without a compositor the window itself is cut down to the ring, so what lies inside the
    // border stays visible.
    void shapeToRing() {
        const QRectF stroke = strokeRect();
        const double half = border_.lineWidth / 2;
        const QRect outer = stroke.adjusted(-half, -half, half, half).toAlignedRect();
        const QRect inner = stroke.adjusted(half, half, -half, -half).toRect();
        setMask(QRegion(outer).subtracted(QRegion(inner)));
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (!compositing_) {
            painter.fillRect(rect(), toQColor(border_.color));
            return;
        }
        QPen pen(toQColor(border_.color), border_.lineWidth);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(strokeRect());
    }

  private:
    QRectF strokeRect() const { return flipped(border_.rect, height()); }

    BorderStroke border_;
    bool compositing_;
};

class BannerWidget final : public QWidget {
  public:
    BannerWidget(const BannerContent& content, const QFont& font, bool compositing)
        : QWidget(nullptr, kFlags),
          content_(content),
          text_(QString::fromStdString(content.text)),
          font_(font),
          compositing_(compositing) {}

    void shapeToBox() { setMask(QRegion(roundedBox().toFillPolygon().toPolygon())); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor background = toQColor(content_.background);
        if (compositing_) {
            painter.fillPath(roundedBox(), background);
        } else {
            // Opaque, and the mask already rounds the corners: an antialiased edge would leave
            // a fringe of the widget's own background inside the mask.
            background.setAlphaF(1);
            painter.fillRect(rect(), background);
        }
        painter.setFont(font_);
        painter.setPen(toQColor(content_.textColor));
        painter.drawText(flipped(content_.labelFrame, height()),
                         Qt::AlignCenter | Qt::TextDontClip | Qt::TextSingleLine, text_);
    }

  private:
    QPainterPath roundedBox() const {
        QPainterPath path;
        const double radius = std::isfinite(content_.cornerRadius) ? content_.cornerRadius : 0;
        path.addRoundedRect(QRectF(rect()), radius, radius);
        return path;
    }

    BannerContent content_;
    QString text_;
    QFont font_;
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

std::optional<QRect> toQtRect(const Rect& rect, double primaryHeight) {
    const double top = primaryHeight - rect.origin.y - rect.size.height;
    for (double v : {rect.origin.x, top}) {
        if (!std::isfinite(v) || v < kMinCoordinate || v > kMaxCoordinate) {
            return std::nullopt;
        }
    }
    for (double v : {rect.size.width, rect.size.height}) {
        if (!std::isfinite(v) || v < 0.5 || v > kMaxCoordinate) {
            return std::nullopt;
        }
    }
    return QRect(static_cast<int>(std::lround(rect.origin.x)), static_cast<int>(std::lround(top)),
                 static_cast<int>(std::lround(rect.size.width)),
                 static_cast<int>(std::lround(rect.size.height)));
}

QFont bannerFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans CJK"),
                      QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(15);
    font.setWeight(QFont::DemiBold);
    return font;
}

QtFeedbackWindows::QtFeedbackWindows(MainLoop& loop, bool compositing)
    : loop_(loop), compositing_(compositing), font_(bannerFont()) {}

namespace {

std::optional<QRect> qtGeometry(const Rect& frame) {
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) {
        return std::nullopt;
    }
    return toQtRect(frame, primary->geometry().height());
}

}  // namespace

std::shared_ptr<FeedbackWindow> QtFeedbackWindows::showOverlay(const Rect& frame,
                                                               const BorderStroke& border) {
    const std::optional<QRect> geometry = qtGeometry(frame);
    if (!geometry) {
        return nullptr;
    }
    auto* widget = new OverlayWidget(border, compositing_);
    prepare(*widget, *geometry, compositing_);
    if (!compositing_) {
        widget->shapeToRing();
    }
    widget->show();
    return std::make_shared<QtFeedbackWindow>(widget, loop_, compositing_);
}

std::shared_ptr<FeedbackWindow> QtFeedbackWindows::showBanner(const Rect& frame,
                                                              const BannerContent& content,
                                                              double initialAlpha) {
    const std::optional<QRect> geometry = qtGeometry(frame);
    if (!geometry) {
        return nullptr;
    }
    auto* widget = new BannerWidget(content, font_, compositing_);
    prepare(*widget, *geometry, compositing_);
    if (!compositing_) {
        widget->shapeToBox();
    }
    auto window = std::make_shared<QtFeedbackWindow>(widget, loop_, compositing_);
    window->setAlpha(initialAlpha);
    return window;
}

Size QtFeedbackWindows::measureBannerText(std::string_view text) {
    const QFontMetricsF metrics(font_);
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return Size{metrics.horizontalAdvance(string), metrics.height()};
}

}  // namespace tallowmere::linux_qt
