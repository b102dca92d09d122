#include "platform/linux/qt/device_pixels.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace tallowmere::linux_qt {
namespace {

constexpr double kMinCoordinate = -32768;
constexpr double kMaxCoordinate = 32767;

int whole(double v) {
    return static_cast<int>(std::lround(v));
}

// How far the point lies outside the rectangle (0 inside), squared.
long long distanceSquared(const QRect& rect, QPoint point) {
    const long long dx = std::max({rect.left() - point.x(), 0, point.x() - rect.right()});
    const long long dy = std::max({rect.top() - point.y(), 0, point.y() - rect.bottom()});
    return dx * dx + dy * dy;
}

}  // namespace

std::optional<QRect> toDeviceRect(const Rect& rect, double primaryHeight) {
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
    return QRect(whole(rect.origin.x), whole(top), whole(rect.size.width), whole(rect.size.height));
}

DevicePixels::DevicePixels(std::vector<ScaledScreen> screens) : screens_(std::move(screens)) {}

DevicePixels DevicePixels::ofQt() {
    std::vector<ScaledScreen> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect logical = screen->geometry();
        const double ratio = screen->devicePixelRatio();
        screens.push_back({logical.topLeft(), logical.size() * ratio, ratio > 0 ? ratio : 1});
    }
    return DevicePixels(std::move(screens));
}

const ScaledScreen* DevicePixels::screenAt(QPoint device) const {
    const ScaledScreen* nearest = nullptr;
    long long best = std::numeric_limits<long long>::max();
    for (const ScaledScreen& screen : screens_) {
        const long long d = distanceSquared(QRect(screen.origin, screen.deviceSize), device);
        if (d < best) {
            best = d;
            nearest = &screen;
        }
    }
    return nearest;
}

double DevicePixels::ratioAt(QPoint device) const {
    const ScaledScreen* screen = screenAt(device);
    return screen ? screen->ratio : 1;
}

double DevicePixels::largestRatio() const {
    double largest = 1;
    for (const ScaledScreen& screen : screens_) {
        largest = std::max(largest, screen.ratio);
    }
    return largest;
}

QRect DevicePixels::toLogical(const QRect& device) const {
    const ScaledScreen* screen = screenAt(device.center());
    if (!screen) {
        return device;
    }
    const QPoint o = screen->origin;
    auto x = [&](int v) { return whole(o.x() + (v - o.x()) / screen->ratio); };
    auto y = [&](int v) { return whole(o.y() + (v - o.y()) / screen->ratio); };
    const int left = x(device.x());
    const int top = y(device.y());
    return QRect(left, top, x(device.x() + device.width()) - left,
                 y(device.y() + device.height()) - top);
}

std::optional<QRect> logicalVisibleArea(Screens& screens) {
    const std::vector<Screen> all = screens.screens();
    const std::optional<Screen> main = screens.mainScreen();
    if (all.empty() || !main) {
        return std::nullopt;
    }
    const std::optional<QRect> device =
        toDeviceRect(main->visibleFrame, all.front().frame.size.height);
    if (!device) {
        return std::nullopt;
    }
    return DevicePixels::ofQt().toLogical(*device);
}

void placeOnDevicePixels(QWidget& widget, const QRect& device,
                         const std::optional<QRegion>& shape) {
    const DevicePixels pixels = DevicePixels::ofQt();
    const double ratio = pixels.ratioAt(device.center());
    widget.setGeometry(pixels.toLogical(device));
    // Qt's mask, in logical pixels: exact on an unscaled screen, and where no native shape can be
    // set.
    auto logicalMask = [&] {
        QRegion logical;
        for (const QRect& r : *shape) {
            logical += QRectF(r.x() / ratio, r.y() / ratio, r.width() / ratio, r.height() / ratio)
                           .toAlignedRect();
        }
        widget.setMask(logical);
    };
    // Qt's offscreen platform answers for X11 too, with no connection.
    auto* x11 = QGuiApplication::platformName() == QLatin1String("xcb")
                    ? qApp->nativeInterface<QNativeInterface::QX11Application>()
                    : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    // Unscaled, Qt's placement is already exact, and a window is configured only once.
    if (c == nullptr || ratio == 1) {
        if (shape) {
            logicalMask();
        }
        return;
    }
    // On Qt's own connection, so that these follow the window's creation in order.
    const auto window = static_cast<xcb_window_t>(widget.winId());
    const std::uint32_t geometry[] = {
        static_cast<std::uint32_t>(device.x()), static_cast<std::uint32_t>(device.y()),
        static_cast<std::uint32_t>(device.width()), static_cast<std::uint32_t>(device.height())};
    xcb_configure_window(c, window,
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                             XCB_CONFIG_WINDOW_HEIGHT,
                         geometry);
    if (shape) {
        // A request of an absent extension would close the whole connection.
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_shape_id);
        if (extension == nullptr || !extension->present) {
            logicalMask();
        } else {
            std::vector<xcb_rectangle_t> rects;
            for (const QRect& r : *shape) {
                rects.push_back({static_cast<std::int16_t>(r.x()), static_cast<std::int16_t>(r.y()),
                                 static_cast<std::uint16_t>(r.width()),
                                 static_cast<std::uint16_t>(r.height())});
            }
            xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                                 XCB_CLIP_ORDERING_UNSORTED, window, 0, 0,
                                 static_cast<std::uint32_t>(rects.size()), rects.data());
        }
    }
    xcb_flush(c);
}

}  // namespace tallowmere::linux_qt
