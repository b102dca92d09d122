// Between the backend's device pixels (X11 root coordinates, as frames, work areas and monitors
// come) and Qt's logical coordinates, which Qt scales per screen by its device-pixel ratio.
#pragma once

#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <optional>
#include <vector>

#include "platform/geometry.h"
#include "platform/screens.h"

class QWidget;

namespace tallowmere::linux_qt {

// A core rectangle (bottom-left origin at the primary screen's bottom-left, y up) as a root
// rectangle in device pixels, rounded to whole pixels; nothing for geometry no X window can have.
std::optional<QRect> toDeviceRect(const Rect& rect, double primaryHeight);

// One screen as Qt scales it: its top-left corner is the same number in both spaces, and
// everything else scales about that corner by the ratio.
struct ScaledScreen {
    QPoint origin;
    QSize deviceSize;
    double ratio = 1;
};

class DevicePixels {
  public:
    explicit DevicePixels(std::vector<ScaledScreen> screens);
    // Qt's screens as they are now.
    static DevicePixels ofQt();

    // The ratio of the screen that holds the point (the nearest one when none does).
    double ratioAt(QPoint device) const;
    // The largest ratio of any screen: text measured with it fits on every screen.
    double largestRatio() const;
    // On the screen of the rectangle's centre, edges rounded to whole logical pixels.
    QRect toLogical(const QRect& device) const;

  private:
    const ScaledScreen* screenAt(QPoint device) const;
    std::vector<ScaledScreen> screens_;
};

// The visible area of the screen the core calls main (where the focused window is), in Qt's
// logical coordinates; nothing without screens.
std::optional<QRect> logicalVisibleArea(Screens& screens);

// Places an unmanaged top-level widget exactly on a device rectangle, cut to a device region
// when one is given (relative to the rectangle). Qt's own geometry is whole logical pixels, and
// at a fractional ratio most device positions have no logical one; on a scaled X11 screen the
// window is configured and shaped natively, and Qt follows the configure notification.
void placeOnDevicePixels(QWidget& widget, const QRect& device,
                         const std::optional<QRegion>& shape = std::nullopt);

}  // namespace tallowmere::linux_qt
