#include "platform/linux/qt/qt_feedback_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

#include "platform/linux/qt/device_pixels.h"
#include "platform/linux/qt/qt_main_loop.h"
#include "platform/qt/qt_test_support.h"

namespace tallowmere::linux_qt {
namespace {

// One 800 pixels high screen, as the offscreen platform's, in the core's model.
struct OneScreen final : Screens {
    std::vector<Screen> screens() override { return {screen}; }
    std::optional<Screen> mainScreen() override { return screen; }
    Screen screen{Rect{{0, 0}, {800, 800}}, Rect{{0, 0}, {800, 800}}};
};

QWidget* onlyTopLevelWindow() {
    const QWidgetList windows = QApplication::topLevelWidgets();
    return windows.size() == 1 ? windows.front() : nullptr;
}

// Core rectangles (bottom-left origin) become whole top-left device pixels, or nothing; device
// rectangles become logical ones on two 1920x1080 monitors side by side, the left at ratio 2 and
// the right at 1.5: Qt scales each about its own corner, so the right one starts at logical 1920.
TEST(QtFeedbackGeometry, RectanglesFlipToDevicePixelsAndScaleAboutTheirOwnScreensCorner) {
    const std::pair<Rect, std::optional<QRect>> flips[] = {
        {{{100, 430}, {800, 600}}, QRect(100, 50, 800, 600)},
        {{{-300, 1200}, {200, 100}}, QRect(-300, -220, 200, 100)},  // above the primary
        {{{10.4, 500.6}, {99.6, 50.2}}, QRect(10, 529, 100, 50)},
        {{{0, 0}, {0, 42}}, std::nullopt},
        {{{std::nan(""), 0}, {10, 10}}, std::nullopt},
        {{{0, 0}, {1e9, 10}}, std::nullopt},
    };
    for (const auto& [rect, device] : flips) {
        EXPECT_EQ(toDeviceRect(rect, 1080), device) << rect.origin.x << "," << rect.origin.y;
    }
    const DevicePixels pixels({{{0, 0}, {1920, 1080}, 2}, {{1920, 0}, {1920, 1080}, 1.5}});
    const std::pair<QRect, QRect> scaled[] = {
        {QRect(0, 100, 366, 159), QRect(0, 50, 183, 80)},  // bottom 259 / 2 = 129.5 rounds up
        // Left 1920 + 1 / 1.5, top 301 / 1.5, right 1920 + 368 / 1.5, bottom 461 / 1.5.
        {QRect(1921, 301, 367, 160), QRect(1921, 201, 244, 106)},
        // Beyond every screen: the nearest, the right one, scales it.
        {QRect(5000, 100, 100, 100), QRect(3973, 67, 67, 66)},
    };
    for (const auto& [device, logical] : scaled) {
        EXPECT_EQ(pixels.toLogical(device), logical) << device.x() << "," << device.y();
    }
    EXPECT_EQ(pixels.largestRatio(), 2);
}

TEST(QtFeedbackWindows, OverlayIsAnUnmanagedClickThroughRingAndBannerTextIsMeasuredInCjk) {
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry().height(), 800);
    QtMainLoop loop;
    OneScreen screens;
    QtFeedbackWindows windows(loop, screens, /*compositing=*/false);
    auto overlay = windows.showOverlay(Rect{{100, 100}, {300, 200}},
                                       BorderStroke{{1, 0, 0, 1}, Rect{{2, 2}, {296, 196}}, 4});
    ASSERT_TRUE(overlay);
    QWidget* widget = onlyTopLevelWindow();
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), QRect(100, 500, 300, 200));
    EXPECT_TRUE(widget->isVisible());
    EXPECT_TRUE(widget->windowFlags().testFlags(Qt::X11BypassWindowManagerHint |
                                                Qt::WindowTransparentForInput));
    EXPECT_TRUE(widget->testAttribute(Qt::WA_ShowWithoutActivating));

    // The stroke covers the outermost 4 pixels; inside, the window is cut away.
    EXPECT_EQ(widget->mask(), QRegion(0, 0, 300, 200).subtracted(QRegion(4, 4, 292, 192)));

    overlay->close();
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    overlay->close();  // closing twice, and using a closed window, does nothing
    overlay->setAlpha(0.5);

    // Sixteen full-width characters, one 15-pixel em each, less the font's kerning of a pair.
    const Size japanese = windows.measureBannerText("整理対象のウィンドウが足りません");
    EXPECT_NEAR(japanese.width, 16 * 15.0, 1.0);
    EXPECT_GT(japanese.height, 15);
    EXPECT_EQ(windows.measureBannerText(""), (Size{0, japanese.height}));
}

TEST(QtFeedbackWindows, EveryFadeCompletesExactlyOnceOnALaterTurn) {
    struct Case {
        bool compositing, closeMidway;
        double expectedOpacity;
    };
    for (const Case c : {Case{true, false, 0.6}, Case{false, false, 1.0}, Case{true, true, 0}}) {
        SCOPED_TRACE(testing::Message() << c.compositing << c.closeMidway);
        QtMainLoop loop;
        OneScreen screens;
        QtFeedbackWindows windows(loop, screens, c.compositing);
        auto banner = windows.showBanner(Rect{{10, 10}, {200, 40}}, BannerContent{"テスト"}, 0);
        ASSERT_TRUE(banner);
        QWidget* widget = onlyTopLevelWindow();
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->isVisible(), c.compositing) << "alpha 0 without a compositor: hidden";

        int completions = 0;
        banner->animateAlpha(0.6, 0.05, [&] { ++completions; });
        EXPECT_EQ(completions, 0);
        if (c.closeMidway) {
            banner->close();
        }
        ASSERT_TRUE(spinUntil([&] { return completions > 0; }));
        bool settled = false;
        loop.dispatchAfter(0.1, [&] { settled = true; });
        ASSERT_TRUE(spinUntil([&] { return settled; }));
        EXPECT_EQ(completions, 1);
        if (!c.closeMidway) {
            EXPECT_TRUE(widget->isVisible());
            EXPECT_DOUBLE_EQ(widget->windowOpacity(), c.expectedOpacity);
        }
        banner->close();
        EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    }
}

}  // namespace
}  // namespace tallowmere::linux_qt
