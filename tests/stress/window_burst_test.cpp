// A hundred windows of a followed application mapped at once: every notice is handled once, the
// row ends as the row rules say.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <numeric>
#include <regex>
#include <set>

#include "display_session.h"
#include "program_under_test.h"

namespace tallowmere::stress {
namespace {

using kit::FramePosition;
using kit::waitUntil;
using namespace std::string_literals;

// The test windows' client is 110 x 90; openbox adds 1, 1, 20, 5: frames are 112 x 115, on a
// 1920 x 1080 screen that is all work area, 20 apart.
constexpr int kBurst = 100;

// Every line by which the engine ends the handling of one created notice.
const char* const kOutcomes[] = {"整列実行", "整列しない", "整列不要", "非標準ウィンドウ",
                                 "取得に失敗"};

std::size_t handled(const kit::Tallowmere& app) {
    return std::accumulate(
        std::begin(kOutcomes), std::end(kOutcomes), std::size_t{0},
        [&](std::size_t n, const char* outcome) { return n + app.countLines(outcome); });
}

TEST(WindowBurst, EveryNoticeHandledOnceRowAsTheRulesSay) {
    const std::string display = std::getenv("DISPLAY");
    kit::Probe desktop(display);
    // Each asks for a place of its own so that every run starts alike.
    std::vector<xcb_window_t> windows;
    const auto open = [&](int i) {
        windows.push_back(
            desktop.openWindow("burst\0Burst\0"s, 40 + 23 * i, 300 + 17 * i, 110, 90));
    };
    open(0);
    ASSERT_TRUE(
        waitUntil([&] { return desktop.listed(windows[0]) && desktop.normalState(windows[0]); }));
    kit::Tallowmere app(kit::rowPreferences("Burst", "linear", 0.2), display);
    ASSERT_TRUE(app.waitStarted()) << app.errorOutput();

    for (int i = 1; i <= kBurst; ++i) {
        open(i);
    }
    ASSERT_TRUE(waitUntil([&] { return handled(app) >= kBurst; }, 120))
        << handled(app) << " of " << kBurst << " notices handled\n"
        << app.errorOutput().substr(0, 4000);

    // The last notices see all 101 windows: 11312 wide against 1920, an overlap of
    // (11312 - 1920) / (11312 - 112) = 0.8385714285714285 > 0.7: refused.
    EXPECT_GE(app.countLines("全体幅11312.0が画面幅1920.0を超え、重ね率0.8385714285714285が上限を"
                             "超えるため整列しない"),
              1u)
        << app.errorOutput().substr(0, 4000);
    const auto outcomes = app.linesWith("整列");
    ASSERT_FALSE(outcomes.empty());
    EXPECT_NE(outcomes.back().find("全体幅11312.0"), std::string::npos) << outcomes.back();

    // The windows of the last arrangement, n of them, stand in its row. While 132n - 20 fits the
    // 1920 of the screen (n <= 14) the row is centred on the reference and kept on the screen,
    // its frames 132 apart; a longer one fills the screen from 0, (1920 - 112) / (n - 1) apart.
    const auto rows = app.linesWith("整列実行");
    std::vector<int> targets;
    if (!rows.empty()) {
        std::smatch m;
        ASSERT_TRUE(std::regex_search(
            rows.back(), m, std::regex(R"(count=(\d+) .*anchorX=([^(]+).*startX=(\S+) )")))
            << rows.back();
        const int n = std::stoi(m[1]);
        ASSERT_GE(n, 2);
        ASSERT_LE(n, 54) << "a row of 55 needs an overlap of 4240 / 6048 = 0.701: refused";
        const double width = 132.0 * n - 20;
        const double startX =
            n <= 14 ? std::clamp(std::stod(m[2]) - width / 2, 0.0, 1920 - width) : 0;
        EXPECT_NEAR(std::stod(m[3]), startX, 1e-6) << rows.back();
        for (int i = 0; i < n; ++i) {
            targets.push_back(int(std::lround(startX + i * (n <= 14 ? 132 : 1808.0 / (n - 1)))));
        }
    }
    const bool standing = waitUntil(
        [&] {
            std::multiset<int> lefts;
            for (xcb_window_t w : windows) {
                lefts.insert(desktop.frame(w).value_or(FramePosition{-1, -1}).x);
            }
            return std::all_of(targets.begin(), targets.end(), [&](int x) {
                const auto it = lefts.find(x);
                return it != lefts.end() && (lefts.erase(it), true);
            });
        },
        30);
    EXPECT_TRUE(standing) << rows.size()
                          << " arrangements; the last: " << (rows.empty() ? "" : rows.back());
    ASSERT_EQ(handled(app), std::size_t(kBurst)) << app.errorOutput().substr(0, 4000);

    app.expectCleanQuit();
    const auto sent = app.linesWith("tallowmere: moves sent ");
    ASSERT_EQ(sent.size(), 1u);
    std::cout << "burst: " << kBurst << " windows mapped at once, " << rows.size()
              << " arrangements, " << app.countLines("整列しない") << " refusals, "
              << app.countLines("整列不要") << " alone\n"
              << sent.front() << "\n";
}

}  // namespace
}  // namespace tallowmere::stress

// The stress tests run only on a private desktop from scripts/with-desktop.
int main(int argc, char** argv) {
    return tallowmere::kit::runOnPrivateDesktop(argc, argv);
}
