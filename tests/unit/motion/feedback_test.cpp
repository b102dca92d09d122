#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "motion/feedback.h"
#include "platform/sim/sim_feedback_windows.h"
#include "platform/sim/sim_main_loop.h"

namespace tallowmere {

namespace {

constexpr Screen kLaptop{{{0, 0}, {1440, 900}}, {{0, 0}, {1440, 875}}};
constexpr Screen kPrimary{{{0, 0}, {1920, 1080}}, {{0, 0}, {1920, 1055}}};
constexpr Screen kSideScreen{{{1920, -360}, {1280, 1440}}, {{1920, 40}, {1280, 760}}};

class FeedbackTest : public testing::Test, public Screens {
  protected:
    std::vector<Screen> screens() override { return screenList; }
    std::optional<Screen> mainScreen() override { return main; }

    std::vector<Screen> screenList{kPrimary};
    std::optional<Screen> main = kPrimary;
    sim::SimMainLoop loop;
    sim::SimFeedbackWindows windows{loop};
    std::unique_ptr<Feedback> feedback = std::make_unique<Feedback>(*this, windows, loop);
};

// Once the side screen is the main one, the flip must still use the primary's height, and a
// banner without a screen of its own goes there. Without a main screen, or any, nothing shows.
TEST_F(FeedbackTest, OverlayAndBannersShowWhereAndForAsLongAsTheyShouldAfterTheirCreatorIsGone) {
    feedback->showToast("0123456789", kLaptop);  // 100 x 18 under the sim's metrics
    loop.advance(0.1);
    feedback->showToast("整理対象のウィンドウが足りません", std::nullopt);
    screenList = {kPrimary, kSideScreen};
    main = kSideScreen;
    loop.advance(0.15);
    feedback->flashOverlay(kSystemGreenColor, Rect{{100, 50}, {800, 600}}, 0.8);
    feedback->showToast("0123456789", std::nullopt);
    main = std::nullopt;
    feedback->showToast("0123456789", std::nullopt);
    screenList.clear();
    feedback->flashOverlay(kSystemRedColor, Rect{{0, 0}, {300, 200}}, 0.8);
    feedback.reset();
    loop.advance(5);

    ASSERT_EQ(windows.windows().size(), 4u);
    const std::vector<sim::FeedbackWindowRecord> banners = windows.banners();
    const sim::FeedbackWindowRecord& banner = banners.front();
    EXPECT_EQ(banner.frame.origin.x, 650);
    EXPECT_DOUBLE_EQ(banner.frame.origin.y, 875.0 - 875.0 / 3 - 21);  // 562.333...
    EXPECT_EQ(banner.frame.size, (Size{140, 42}));
    EXPECT_EQ(banner.banner()->labelFrame, (Rect{{20, 12}, {100, 18}}));
    EXPECT_EQ(banner.banner()->text, "0123456789");
    EXPECT_EQ(banner.alphaAt(0), 0);
    EXPECT_EQ(banner.alphaAt(0.15), 1);
    EXPECT_EQ(banner.alphaAt(1.05), 1);
    EXPECT_TRUE(banner.isOpenAt(1.35 - 1e-9));
    EXPECT_EQ(banner.alphaAt(1.35), 0);
    EXPECT_FALSE(banner.isOpenAt(1.35));
    EXPECT_NEAR(banners[1].closeTime.value_or(0), 1.45, 1e-12);
    EXPECT_EQ(banners[2].frame.origin.x, 2560 - 70);
    EXPECT_DOUBLE_EQ(banners[2].frame.origin.y, 800 - 760.0 / 3 - 21);

    const sim::FeedbackWindowRecord overlay = windows.overlays().front();
    EXPECT_EQ(overlay.frame, (Rect{{100, 430}, {800, 600}}));
    EXPECT_EQ(overlay.border()->rect, (Rect{{2, 2}, {796, 596}}));
    EXPECT_EQ(overlay.border()->lineWidth, 4);
    EXPECT_EQ(overlay.border()->color, kSystemGreenColor);
    EXPECT_EQ(overlay.alphaAt(1.0), 1);
    EXPECT_TRUE(overlay.isOpenAt(1.05 - 1e-9));
    EXPECT_FALSE(overlay.isOpenAt(1.05));
    EXPECT_EQ(windows.liveWindowCount(), 0u);
}

}  // namespace
}  // namespace tallowmere
