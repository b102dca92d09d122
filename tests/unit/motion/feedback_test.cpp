#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "motion/feedback.h"
#include "motion/geometry_printing.h"
#include "platform/sim/sim_feedback_windows.h"
#include "platform/sim/sim_main_loop.h"

namespace tallowmere {
namespace {

using sim::FeedbackWindowRecord;

constexpr Screen kLaptop{{{0, 0}, {1440, 900}}, {{0, 0}, {1440, 875}}};
constexpr Screen kPrimary{{{0, 0}, {1920, 1080}}, {{0, 0}, {1920, 1055}}};
constexpr Screen kSideScreen{{{1920, -360}, {1280, 1440}}, {{1920, 40}, {1280, 760}}};

class FixedScreens final : public Screens {
  public:
    std::vector<Screen> screens() override { return list; }
    std::optional<Screen> mainScreen() override { return main; }

    std::vector<Screen> list;
    std::optional<Screen> main;
};

class FeedbackTest : public testing::Test {
  protected:
    void setScreens(std::vector<Screen> list, std::optional<Screen> main) {
        screens.list = std::move(list);
        screens.main = main;
    }
    const FeedbackWindowRecord& only() {
        EXPECT_EQ(windows.windows().size(), 1u);
        return windows.windows().front();
    }

    sim::SimMainLoop loop;
    FixedScreens screens;
    sim::SimFeedbackWindows windows{loop};
    std::unique_ptr<Feedback> feedback = std::make_unique<Feedback>(screens, windows, loop);
};

TEST_F(FeedbackTest, OverlayCoversTheDestinationFlippedAgainstThePrimaryScreen) {
    // The main screen is the tall side screen; the flip must still use the primary's height.
    setScreens({kPrimary, kSideScreen}, kSideScreen);
    feedback->flashOverlay(kSystemGreenColor, Rect{{100, 50}, {800, 600}}, 0.8);

    const FeedbackWindowRecord& overlay = only();
    EXPECT_EQ(overlay.kind(), sim::FeedbackWindowKind::overlay);
    EXPECT_EQ(overlay.frame, (Rect{{100, 430}, {800, 600}}));
    ASSERT_NE(overlay.border(), nullptr);
    EXPECT_EQ(overlay.border()->rect, (Rect{{2, 2}, {796, 596}}));
    EXPECT_EQ(overlay.border()->lineWidth, 4);
    EXPECT_EQ(overlay.border()->color, kSystemGreenColor);
    EXPECT_FALSE(overlay.hasShadow);
}

TEST_F(FeedbackTest, OverlayShowsAtFullAlphaForExactlyItsDurationThenIsReleased) {
    setScreens({kPrimary}, kPrimary);
    loop.advance(0.25);
    feedback->flashOverlay(kSystemRedColor, Rect{{0, 0}, {300, 200}}, 0.8);
    loop.advance(0.8 - 1e-9);
    EXPECT_EQ(windows.openWindowsAt(loop.now()).size(), 1u);
    loop.advance(1e-9);
    loop.advance(5);

    const FeedbackWindowRecord& overlay = only();
    EXPECT_EQ(overlay.openTime, 0.25);
    ASSERT_TRUE(overlay.closeTime);
    EXPECT_NEAR(*overlay.closeTime, 1.05, 1e-12);
    ASSERT_EQ(overlay.alphaChanges.size(), 1u);
    EXPECT_EQ(overlay.alphaAt(1.0), 1);
    EXPECT_EQ(windows.liveWindowCount(), 0u);
}

TEST_F(FeedbackTest, NothingIsShownWithoutScreens) {
    setScreens({}, std::nullopt);
    feedback->flashOverlay(kSystemRedColor, Rect{{0, 0}, {300, 200}}, 0.8);
    feedback->showToast("0123456789", std::nullopt);
    loop.advance(2);
    EXPECT_TRUE(windows.windows().empty());
}

TEST_F(FeedbackTest, BannerIsCentredAThirdOfTheVisibleHeightBelowTheTop) {
    setScreens({kLaptop}, kLaptop);
    feedback->showToast("0123456789", kLaptop);  // 100 x 18 under the sim's metrics

    const FeedbackWindowRecord& banner = only();
    EXPECT_EQ(banner.kind(), sim::FeedbackWindowKind::banner);
    EXPECT_EQ(banner.frame.origin.x, 650);
    EXPECT_DOUBLE_EQ(banner.frame.origin.y, 875.0 - 875.0 / 3 - 21);
    EXPECT_EQ(banner.frame.size, (Size{140, 42}));
    EXPECT_TRUE(banner.hasShadow);
    ASSERT_NE(banner.banner(), nullptr);
    const BannerContent& content = *banner.banner();
    EXPECT_EQ(content.text, "0123456789");
    EXPECT_EQ(content.background, (Color{0, 0, 0, 0.75}));
    EXPECT_EQ(content.cornerRadius, 10);
    EXPECT_EQ(content.textColor, (Color{1, 1, 1, 1}));
    EXPECT_EQ(content.labelFrame, (Rect{{20, 12}, {100, 18}}));
}

TEST_F(FeedbackTest, BannerFollowsTheVisibleFrameOfAScreenAwayFromTheOrigin) {
    setScreens({kPrimary, kSideScreen}, kPrimary);
    feedback->showToast("監視対象外のアプリです", kSideScreen);  // 11 wide glyphs: 165 x 18

    const FeedbackWindowRecord& banner = only();
    EXPECT_EQ(banner.frame.size, (Size{205, 42}));
    EXPECT_EQ(banner.frame.origin.x, 2560 - 102.5);
    EXPECT_DOUBLE_EQ(banner.frame.origin.y, 800 - 760.0 / 3 - 21);
}

TEST_F(FeedbackTest, EmptyMessageStillGivesAPaddedBanner) {
    setScreens({kLaptop}, kLaptop);
    feedback->showToast("", std::nullopt);

    const FeedbackWindowRecord& banner = only();
    EXPECT_EQ(banner.frame.size, (Size{40, 42}));
    EXPECT_EQ(banner.banner()->labelFrame, (Rect{{20, 12}, {0, 18}}));
    EXPECT_EQ(banner.banner()->text, "");
}

TEST_F(FeedbackTest, BannerWithoutAScreenUsesTheMainScreen) {
    setScreens({kPrimary, kSideScreen}, kSideScreen);
    feedback->showToast("0123456789", std::nullopt);
    setScreens({kPrimary, kSideScreen}, std::nullopt);
    feedback->showToast("0123456789", std::nullopt);  // neither: nothing

    const FeedbackWindowRecord& banner = only();
    EXPECT_EQ(banner.frame.origin.x, 2560 - 70);
}

TEST_F(FeedbackTest, BannerFadesInHoldsAndFadesOutOnTheClock) {
    setScreens({kLaptop}, kLaptop);
    loop.advance(0.5);
    feedback->showToast("0123456789", std::nullopt);

    loop.advance(1.05);  // fade-in done at 0.65, hold until 1.55
    EXPECT_EQ(windows.openWindowsAt(loop.now()).size(), 1u);
    EXPECT_GT(windows.liveWindowCount(), 0u);
    loop.advance(0.3 - 1e-9);
    EXPECT_EQ(windows.openWindowsAt(loop.now()).size(), 1u);
    loop.advance(1);

    const FeedbackWindowRecord& banner = only();
    ASSERT_EQ(banner.alphaChanges.size(), 3u);
    EXPECT_EQ(banner.alphaChanges[0].time, 0.5);
    EXPECT_EQ(banner.alphaChanges[0].alpha, 0);
    EXPECT_NEAR(banner.alphaChanges[1].time, 0.65, 1e-12);
    EXPECT_EQ(banner.alphaChanges[1].alpha, 1);
    EXPECT_NEAR(banner.alphaChanges[2].time, 1.85, 1e-12);
    EXPECT_EQ(banner.alphaChanges[2].alpha, 0);
    ASSERT_TRUE(banner.closeTime);
    EXPECT_NEAR(*banner.closeTime, 1.85, 1e-12);
    EXPECT_EQ(banner.alphaAt(1.55), 1);
    EXPECT_EQ(windows.liveWindowCount(), 0u);
}

TEST_F(FeedbackTest, BannersInQuickSuccessionKeepTheirOwnTiming) {
    setScreens({kLaptop}, kLaptop);
    feedback->showToast("Linear（等速）", std::nullopt);
    loop.advance(0.1);
    feedback->showToast("整理対象のウィンドウが足りません", std::nullopt);
    loop.advance(0.1);
    EXPECT_EQ(windows.openWindowsAt(loop.now()).size(), 2u);
    loop.advance(3);

    EXPECT_EQ(windows.bannerTexts(),
              (std::vector<std::string>{"Linear（等速）", "整理対象のウィンドウが足りません"}));
    const auto banners = windows.banners();
    ASSERT_EQ(banners.size(), 2u);
    EXPECT_NEAR(*banners[0].closeTime, 1.35, 1e-12);
    EXPECT_NEAR(*banners[1].closeTime, 1.45, 1e-12);
    EXPECT_EQ(banners[0].frame.midX(), banners[1].frame.midX());
}

TEST_F(FeedbackTest, BannerFinishesAfterItsCreatorIsGone) {
    setScreens({kLaptop}, kLaptop);
    feedback->showToast("0123456789", std::nullopt);
    loop.advance(0.1);
    feedback.reset();
    loop.advance(2);

    const FeedbackWindowRecord& banner = only();
    ASSERT_TRUE(banner.closeTime);
    EXPECT_NEAR(*banner.closeTime, 1.35, 1e-12);
    EXPECT_EQ(windows.liveWindowCount(), 0u);
}

}  // namespace
}  // namespace tallowmere
