// A hundred windows of a followed application mapped at once: every notice is handled once, the
// row ends as the row rules say, and the window manager's queue of moves never floods.
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <numeric>
#include <regex>
#include <variant>

#include "display_session.h"
#include "engine/row_plan.h"
#include "program_under_test.h"

namespace tallowmere::stress {
namespace {

using kit::FramePosition;
using kit::Reply;
using kit::waitUntil;
using namespace std::string_literals;

// The test windows' client is 110 x 90; openbox adds 1, 1, 20, 5: frames are 112 x 115. The work
// area is the whole 1920 x 1080 screen.
constexpr double kFrameW = 112;
constexpr double kFrameH = 115;
constexpr double kVisW = 1920;
constexpr double kVisH = 1080;
constexpr int kBurst = 100;

// Every line by which the engine ends the handling of one created notice.
const char* const kOutcomes[] = {"整列実行", "整列しない", "整列不要", "非標準ウィンドウ",
                                 "取得に失敗"};

std::size_t handled(const kit::Tallowmere& app) {
    return std::accumulate(
        std::begin(kOutcomes), std::end(kOutcomes), std::size_t{0},
        [&](std::size_t n, const char* outcome) { return n + app.countLines(outcome); });
}

// The row the planner makes of n equal frames about the logged reference on the whole screen, its
// centre line moved to the logged one.
std::optional<RowPlan> plannedRow(int n, double anchorX) {
    RowInput input{.spacing = 20, .anchorX = anchorX, .centroidY = kVisH / 2};
    for (int i = 0; i < n; ++i) {
        input.windows.push_back({AXElement(), {double(i), 0}, {kFrameW, kFrameH}});
    }
    const Rect screen{{0, 0}, {kVisW, kVisH}};
    input.screens = {{screen, screen}};
    const RowDecision decision = planRow(input);
    const auto* plan = std::get_if<RowPlan>(&decision);
    return plan ? std::optional(*plan) : std::nullopt;
}

std::vector<FramePosition> rowTargets(const RowPlan& plan, double baseY) {
    std::vector<FramePosition> targets;
    for (const RowPlacement& placement : plan.placements) {
        targets.push_back({int(std::lround(placement.end.x)),
                           int(std::lround(placement.end.y - plan.baseY + baseY))});
    }
    return targets;
}

// Measures whether the window manager is flooded: moves one managed window of its own and counts
// the frame moves of other windows that the window manager applies before it. With at most one
// move in flight per window, that depth stays below the number of windows.
class MoveQueueGauge {
  public:
    explicit MoveQueueGauge(const std::string& display)
        : probe_(display), events_(xcb_connect(display.c_str(), nullptr)) {
        if (xcb_connection_has_error(events_)) {
            return;
        }
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(events_)).data;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(events_, screen->root, XCB_CW_EVENT_MASK, &mask);
        client_ = xcb_generate_id(events_);
        xcb_create_window(events_, XCB_COPY_FROM_PARENT, client_, screen->root, 0, 900, 60, 40, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        const std::string wmClass = std::string("gauge") + '\0' + "StressGauge" + '\0';
        xcb_change_property(events_, XCB_PROP_MODE_REPLACE, client_, XCB_ATOM_WM_CLASS,
                            XCB_ATOM_STRING, 8, std::uint32_t(wmClass.size()), wmClass.data());
        xcb_map_window(events_, client_);
        xcb_flush(events_);
        // Managed once listed; its frame is then the root's child that holds it.
        kit::waitUntil([&] {
            frame_ = probe_.listed(client_) ? probe_.frameOf(client_).value_or(client_) : client_;
            return frame_ != client_;
        });
        if (frame_ == client_) {
            frame_ = XCB_WINDOW_NONE;
        }
        notePlaces();
    }
    ~MoveQueueGauge() { xcb_disconnect(events_); }
    MoveQueueGauge(const MoveQueueGauge&) = delete;
    MoveQueueGauge& operator=(const MoveQueueGauge&) = delete;

    bool ready() const { return frame_ != XCB_WINDOW_NONE; }
    // Notes where every top-level window stands, so that only changes of place count as moves
    // (a restacking or a new frame's sizing also sends ConfigureNotify).
    void notePlaces() {
        for (xcb_window_t child : probe_.children(probe_.root())) {
            if (const auto box = probe_.geometry(child)) {
                places_[child] = {box->x, box->y};
            }
        }
        // What happened before these places is no move ahead of a later sample.
        std::free(xcb_get_input_focus_reply(events_, xcb_get_input_focus(events_), nullptr));
        while (auto* event = xcb_poll_for_event(events_)) {
            std::free(event);
        }
    }
    // One sample: the queue depth ahead of our move, or none when our move never landed.
    std::optional<std::size_t> sample() {
        if (!ready()) {
            return std::nullopt;
        }
        flip_ = 1 - flip_;
        probe_.moveFrame(client_, 10 * flip_, 900);
        std::size_t ahead = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            Reply<xcb_generic_event_t> event(xcb_poll_for_event(events_));
            if (!event) {
                if (xcb_connection_has_error(events_)) {
                    return std::nullopt;
                }
                pollfd ready{xcb_get_file_descriptor(events_), POLLIN, 0};
                poll(&ready, 1, 100);
                continue;
            }
            if ((event->response_type & 0x7f) != XCB_CONFIGURE_NOTIFY) {
                continue;
            }
            const auto* configure =
                reinterpret_cast<const xcb_configure_notify_event_t*>(event.get());
            if (configure->window == frame_) {
                if (configure->x == 10 * flip_) {
                    deepest_ = std::max(deepest_, ahead);
                    return ahead;
                }
                continue;  // a restacking of ours
            }
            auto& place = places_[configure->window];
            if (place != std::pair<int, int>{configure->x, configure->y}) {
                place = {configure->x, configure->y};
                ++ahead;
                ++otherMoves_;
            }
        }
        return std::nullopt;
    }
    std::size_t deepest() const { return deepest_; }
    // Frame moves of other windows seen so far.
    std::size_t otherFrameMoves() const { return otherMoves_; }

  private:
    kit::Probe probe_;
    xcb_connection_t* events_ = nullptr;
    xcb_window_t client_ = XCB_WINDOW_NONE;
    xcb_window_t frame_ = XCB_WINDOW_NONE;
    std::map<xcb_window_t, std::pair<int, int>> places_;
    int flip_ = 0;
    std::size_t deepest_ = 0;
    std::size_t otherMoves_ = 0;
};

TEST(WindowBurst, EveryNoticeHandledOnceRowAsTheRulesSayNoFlood) {
    const std::string display = std::getenv("DISPLAY");
    kit::Probe desktop(display);
    // 110 x 90, each asking for a place of its own so that every run starts alike.
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
    MoveQueueGauge gauge(display);
    ASSERT_TRUE(gauge.ready());

    // How long the first 32, 64 and all notices took to be handled after the burst began: learning
    // a batch of new windows should cost about one round trip, not one per window.
    using Clock = std::chrono::steady_clock;
    const auto burstStart = Clock::now();
    std::map<std::size_t, double> handledAfter{{32, NAN}, {64, NAN}, {kBurst, NAN}};
    const auto noteHandled = [&] {
        const std::size_t done = handled(app);
        for (auto& [n, seconds] : handledAfter) {
            if (std::isnan(seconds) && done >= n) {
                seconds = std::chrono::duration<double>(Clock::now() - burstStart).count();
            }
        }
    };
    for (int i = 1; i <= kBurst; ++i) {
        open(i);
    }
    ASSERT_TRUE(waitUntil(
        [&] {
            noteHandled();
            return std::all_of(windows.begin(), windows.end(),
                               [&](xcb_window_t w) { return desktop.listed(w); });
        },
        60));
    // Sampled from here on: the window manager's own placements are done.
    gauge.notePlaces();
    ASSERT_TRUE(waitUntil(
        [&] {
            gauge.sample();
            noteHandled();
            return handled(app) >= kBurst;
        },
        120))
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

    // The windows of the last arrangement stand at its targets.
    const auto rows = app.linesWith("整列実行");
    std::vector<FramePosition> targets;
    if (!rows.empty()) {
        std::smatch m;
        ASSERT_TRUE(std::regex_search(
            rows.back(), m,
            std::regex(R"(count=(\d+) .*anchorX=([^(]+).*startX=(\S+) centroidY=(\S+))")))
            << rows.back();
        const int n = std::stoi(m[1]);
        ASSERT_GE(n, 2);
        ASSERT_LE(n, 54) << "a row of 55 needs an overlap of 4240 / 6048 = 0.701: refused";
        const auto plan = plannedRow(n, std::stod(m[2]));
        ASSERT_TRUE(plan) << rows.back();
        EXPECT_EQ(std::stod(m[3]), plan->startX) << rows.back();
        targets = rowTargets(*plan, std::stod(m[4]));
    }
    const bool standing = waitUntil(
        [&] {
            gauge.sample();
            std::vector<FramePosition> open;
            for (xcb_window_t w : windows) {
                open.push_back(desktop.frame(w).value_or(FramePosition{-1, -1}));
            }
            for (const auto& target : targets) {
                auto it = std::find(open.begin(), open.end(), target);
                if (it == open.end()) {
                    return false;
                }
                open.erase(it);
            }
            return true;
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
              << sent.front()
              << "\nframe moves of other windows seen while sampling: " << gauge.otherFrameMoves()
              << ", deepest queue ahead of one move: " << gauge.deepest() << "\n";
    for (const auto& [n, seconds] : handledAfter) {
        std::cout << "notices handled: " << n << " after " << std::lround(seconds * 1e3) << " ms\n";
    }
    // One move in flight per window: never more queued than there are windows.
    EXPECT_LE(gauge.deepest(), windows.size());
}

}  // namespace
}  // namespace tallowmere::stress

// The stress tests run only on a private desktop from scripts/with-desktop.
int main(int argc, char** argv) {
    return tallowmere::kit::runOnPrivateDesktop(argc, argv);
}
