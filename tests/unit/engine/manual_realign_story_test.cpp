#include "scenario.h"

namespace tallowmere::testing {
namespace {

class ManualRealignStory : public ScenarioTest {
  protected:
    ManualRealignStory() {
        startEngine();
        desktop.setFrontmostApplication(xterm);
    }

    Pid xterm = launch("XTerm");
};

TEST_F(ManualRealignStory, LinesUpScatteredWindowsAroundTheirOwnCentre) {
    const WindowId a = open(xterm, {100, 100});
    settle();
    const WindowId b = open(xterm, {700, 100});
    settle();
    desktop.dragWindow(a, {0, 500});
    desktop.dragWindow(b, {1000, 25});
    engine->realignFrontmostApp(AlignmentAnchor::windowCentroid);
    // Bounding box 0..1400 × 25..800: centre (700, 412.5).
    expectRow({{a, {290, 262.5}}, {b, {710, 262.5}}});
    EXPECT_EQ(linesContaining("手動再整理を実行 pid=" + std::to_string(xterm) +
                              " count=2 anchor=windowCentroid")
                  .size(),
              1u);
    EXPECT_TRUE(feedbackWindows.bannerTexts().empty());
}

TEST_F(ManualRealignStory, RefusesUnwatchedPausedOrUnknownFrontmostApplications) {
    const Pid editor = launch("org.example.Editor");
    const Pid anonymous = launch(std::nullopt);
    for (std::optional<Pid> frontmost :
         {std::optional<Pid>(editor), std::optional<Pid>(anonymous), std::optional<Pid>()}) {
        desktop.setFrontmostApplication(frontmost);
        engine->realignFrontmostApp(AlignmentAnchor::windowCentroid);
    }
    settings.setPausedBundleIdentifiers({"XTerm"});
    desktop.setFrontmostApplication(xterm);
    engine->realignFrontmostApp(AlignmentAnchor::screenCenter);
    EXPECT_EQ(feedbackWindows.bannerTexts(), std::vector<std::string>(4, "監視対象外のアプリです"));
}

TEST_F(ManualRealignStory, OneWindowIsTooFewAroundItselfButIsCentredOnTheScreen) {
    const WindowId a = open(xterm, {100, 100});
    settle();
    engine->realignFrontmostApp(AlignmentAnchor::windowCentroid);
    EXPECT_EQ(feedbackWindows.bannerTexts(),
              std::vector<std::string>{"整理対象のウィンドウが足りません"});
    EXPECT_EQ(linesContaining("手動再整理: 対象ウィンドウが足りないため不要 pid=" +
                              std::to_string(xterm) + " count=1")
                  .size(),
              1u);
    expectRow({{a, {100, 100}}});

    engine->realignFrontmostApp(AlignmentAnchor::screenCenter);
    expectRow({{a, {520, 100}}});
    EXPECT_EQ(feedbackWindows.bannerTexts().size(), 1u);
}

TEST_F(ManualRealignStory, ScreenCentreMovesOnlyTheHorizontalCentre) {
    const WindowId a = open(xterm, {0, 500}, {300, 200});
    settle();
    const WindowId b = open(xterm, {400, 500}, {300, 200});
    settle();
    desktop.dragWindow(a, {0, 500});
    desktop.dragWindow(b, {400, 500});
    engine->realignFrontmostApp(AlignmentAnchor::screenCenter);
    expectRow({{a, {410, 500}}, {b, {730, 500}}});
}

TEST_F(ManualRealignStory, UnreadableWindowListDoesNothingQuietly) {
    open(xterm, {100, 100});
    settle();
    desktop.overrideApplicationAttribute(xterm, "AXWindows", {kAXErrorSuccess, AXOtherValue{}});
    diagnostics.lines.clear();
    engine->realignFrontmostApp(AlignmentAnchor::screenCenter);
    EXPECT_TRUE(feedbackWindows.bannerTexts().empty());
    EXPECT_TRUE(diagnostics.lines.empty());
}

TEST_F(ManualRealignStory, WatchedButNotFollowedApplicationIsLeftAlone) {
    const Pid late = desktop.addRunningApplication("org.gnome.Nautilus");
    desktop.setFrontmostApplication(late);
    engine->realignFrontmostApp(AlignmentAnchor::windowCentroid);
    EXPECT_EQ(diagnostics.lines.back(),
              "手動再整理: pid=" + std::to_string(late) + " が未監視のため何もしません");
    EXPECT_TRUE(feedbackWindows.bannerTexts().empty());
}

}  // namespace
}  // namespace tallowmere::testing
