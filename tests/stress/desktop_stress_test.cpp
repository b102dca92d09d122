// The whole program on a private desktop under load: many open/close cycles of a followed
// application's windows with animations and overlays (it stays up, its memory and X resources stay
// flat); a hundred windows mapped at once (every notice handled once, the row as the rules say);
// two monitors with a panel, one unplugged mid-glide. Counts are brief unless scripts/soak sets
// them.
#include <gtest/gtest.h>
#include <xcb/res.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
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

// X resources per type (atom name) summed over every X client of the process, as the X-Resource
// extension counts them.
using ResourceCounts = std::map<std::string, std::uint32_t>;

// VmRSS of the process in kB.
std::optional<long> residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return std::nullopt;
}

ResourceCounts xResources(kit::Probe& probe, pid_t pid) {
    xcb_connection_t* c = probe.conn();
    std::free(xcb_res_query_version_reply(c, xcb_res_query_version(c, 1, 2), nullptr));
    // Every client, asked for its local process id.
    xcb_res_client_id_spec_t all{0, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    const auto ids =
        kit::own(xcb_res_query_client_ids_reply(c, xcb_res_query_client_ids(c, 1, &all), nullptr));
    ResourceCounts counts;
    if (!ids) {
        return counts;
    }
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem;
         xcb_res_client_id_value_next(&it)) {
        const xcb_res_client_id_value_t* value = it.data;
        if (!(value->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) ||
            xcb_res_client_id_value_value_length(value) < 1 ||
            *xcb_res_client_id_value_value(value) != std::uint32_t(pid)) {
            continue;
        }
        const auto resources = kit::own(xcb_res_query_client_resources_reply(
            c, xcb_res_query_client_resources(c, value->spec.client), nullptr));
        if (!resources) {
            continue;
        }
        for (auto type = xcb_res_query_client_resources_types_iterator(resources.get()); type.rem;
             xcb_res_type_next(&type)) {
            const auto name = kit::own(xcb_get_atom_name_reply(
                c, xcb_get_atom_name(c, type.data->resource_type), nullptr));
            counts[name ? std::string(xcb_get_atom_name_name(name.get()),
                                      std::size_t(xcb_get_atom_name_name_length(name.get())))
                        : std::to_string(type.data->resource_type)] += type.data->count;
        }
    }
    return counts;
}

TEST(OpenCloseCycles, ProgramStaysUpWithFlatMemoryAndXResources) {
    const std::string display = std::getenv("DISPLAY");
    const char* cyclesSet = std::getenv("TALLOWMERE_STRESS_CYCLES");  // scripts/soak sets 1000
    const int cycles = cyclesSet && std::atoi(cyclesSet) > 0 ? std::atoi(cyclesSet) : 50;
    // A fifth of the run warms up: Qt's caches fill, the heap finds its size.
    const int warmUp = std::max(1, cycles / 5);

    // Windows of another process: the next test's own reuse none of their ids.
    kit::WindowOwner owner(display);
    kit::Probe probe(display);
    const xcb_window_t a = owner.create("Cycle", 300, 300, 300, 200);
    ASSERT_TRUE(waitUntil([&] { return probe.listed(a) && probe.normalState(a); }));
    kit::Tallowmere app(kit::rowPreferences("Cycle", "linear", 0.2, true), display);
    ASSERT_TRUE(app.waitStarted()) << app.errorOutput();
    ASSERT_TRUE(xResources(probe, app.pid()).count("WINDOW"))
        << "the X server does not know the program's clients";
    // The counts to compare are taken once every flash overlay is gone.
    auto settled = [&] {
        waitUntil([&] { return probe.unmanagedWindowsOf(app.pid()).empty(); });
        return xResources(probe, app.pid());
    };
    auto arranged = [&](int n) {
        return waitUntil([&] { return app.countLines("整列実行") == std::size_t(n); });
    };
    owner.create("Cycle", 900, 300, 300, 200);
    ASSERT_TRUE(arranged(1)) << app.errorOutput();

    long baseline = 0;
    ResourceCounts warm;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        // Opened: one arrangement; closed while it still glides: one more.
        const xcb_window_t c = owner.create("Cycle", 1400, 600, 300, 200);
        ASSERT_TRUE(arranged(2 * cycle)) << "cycle " << cycle << " open\n"
                                         << app.errorOutput().substr(0, 4000);
        owner.destroy(c);
        ASSERT_TRUE(arranged(2 * cycle + 1)) << "cycle " << cycle << " close\n"
                                             << app.errorOutput().substr(0, 4000);
        if (cycle == warmUp) {
            warm = settled();
            baseline = residentKb(app.pid()).value_or(0);
        }
    }
    const long growth = residentKb(app.pid()).value_or(0) - baseline;
    std::cout << "open/close cycles: " << cycles << "; VmRSS growth after the " << warmUp
              << " of warm-up: " << growth << " kB\n";

    // Every count back at or below its level after the warm-up. A feedback window is unmapped
    // a moment before Qt destroys it, so a leak is what stays for seconds, not what is counted
    // at the first look.
    ResourceCounts last = settled();
    const bool flat = waitUntil(
        [&] {
            last = xResources(probe, app.pid());
            return std::all_of(last.begin(), last.end(), [&](const auto& count) {
                return count.second <= (warm.count(count.first) ? warm.at(count.first) : 0);
            });
        },
        5);
    EXPECT_TRUE(flat) << "X resources grew from " << ::testing::PrintToString(warm) << " to "
                      << ::testing::PrintToString(last);
    // A short run only reports: over 50 cycles the heap swings by more than the limit either way
    // (±1.5 MB seen), while over the soak's 1 000 a real leak of even 1 kB a cycle shows. The
    // sanitizer's quarantine keeps freed memory resident: growth says nothing there.
#ifndef TALLOWMERE_SANITIZED
    if (cycles >= 500) {
        EXPECT_LT(growth, 1024) << "resident memory grew";
    }
#endif

    app.expectCleanQuit();
}

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

    // How long the first 32, 64 and all notices took to be handled after the burst began,
    // printed: learning a batch of new windows should cost about one round trip, not one each.
    const auto burstStart = std::chrono::steady_clock::now();
    std::map<std::size_t, double> handledAfter{{32, NAN}, {64, NAN}, {kBurst, NAN}};
    const auto noteHandled = [&] {
        const std::size_t done = handled(app);
        for (auto& [n, seconds] : handledAfter) {
            if (std::isnan(seconds) && done >= n) {
                seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - burstStart)
                        .count();
            }
        }
        return done;
    };
    for (int i = 1; i <= kBurst; ++i) {
        open(i);
    }
    ASSERT_TRUE(waitUntil([&] { return noteHandled() >= kBurst; }, 120))
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
    std::cout << "burst: " << kBurst << " windows mapped at once, " << rows.size()
              << " arrangements, " << app.countLines("整列しない") << " refusals\n";
    for (const auto& [n, seconds] : handledAfter) {
        std::cout << "notices handled: " << n << " after " << std::lround(seconds * 1e3) << " ms\n";
    }
}

// The work area of the first desktop.
std::vector<std::uint32_t> workArea(kit::Probe& probe) {
    auto area = probe.cardinals(probe.root(), "_NET_WORKAREA");
    area.resize(std::min<std::size_t>(area.size(), 4));
    return area;
}

TEST(TwoMonitors, RowStaysInTheSecondMonitorsVisibleAreaAndSurvivesItsUnplugging) {
    const std::string display = std::getenv("DISPLAY");
    kit::Probe probe(display);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(probe.conn())).data;
    ASSERT_EQ(screen->width_in_pixels, 3840) << "run under scripts/with-desktop --size 3840x1080";
    ASSERT_EQ(kit::run({"xrandr", "--setmonitor", "left", "1920/508x1080/286+0+0", "screen"}), 0);
    ASSERT_EQ(kit::run({"xrandr", "--setmonitor", "right", "1920/508x1080/286+1920+0", "none"}), 0);
    // The panel takes 60 of the right monitor: its visible area is x 1920 .. 3780.
    probe.openDock(true, 60);
    ASSERT_TRUE(waitUntil([&] {
        return workArea(probe) == std::vector<std::uint32_t>{0, 0, 3780, 1080};
    })) << "the window manager did not reserve the panel's strut";

    const auto open = [&](int x, int y) {
        return probe.openWindow(std::string("duo\0Duo\0", 8), x, y, 400, 300);
    };
    const xcb_window_t a = open(3300, 300);
    ASSERT_TRUE(waitUntil([&] { return probe.listed(a) && probe.normalState(a); }));
    ASSERT_EQ(probe.frame(a), (FramePosition{3300, 300}));
    const auto frame = probe.frameSize(a);
    ASSERT_TRUE(frame);
    kit::Tallowmere app(kit::rowPreferences("Duo", "linear", 1.0, true), display);
    ASSERT_TRUE(app.waitStarted()) << app.errorOutput();

    // Clients 400 x 300 in openbox frames (1, 1, 20, 5): 402 x 325. B opens on the left monitor:
    // the reference is A's centre (3501, 462.5), on the right monitor. [A, B] is 2 * 402 + 20 = 824
    // wide; centred it would end at 3913, past the panel, so it ends at 3780: A at 2956, B at 3378,
    // both tops at 462.5 - 162.5 = 300.
    const xcb_window_t b = open(200, 600);
    EXPECT_EQ(probe.waitForFrames({{a, {2956, 300}}, {b, {3378, 300}}}), "") << app.errorOutput();
    // C: the reference is the centre of 2956 .. 3780, 3368; [A, B, C] is 1246 wide and again
    // pushed left to end at 3780: 2534, 2956, 3378.
    const xcb_window_t c = open(300, 100);
    EXPECT_EQ(probe.waitForFrames({{a, {2534, 300}}, {b, {2956, 300}}, {c, {3378, 300}}}), "")
        << app.errorOutput();

    // D starts a one-second glide; the right monitor goes away in the middle of it.
    const xcb_window_t d = open(400, 200);
    ASSERT_TRUE(waitUntil([&] { return app.countLines("整列実行") == 3; })) << app.errorOutput();
    ASSERT_EQ(kit::run({"xrandr", "--delmonitor", "right"}), 0);
    ASSERT_TRUE(app.running()) << app.errorOutput();
    // openbox then takes the panel's 60 from the right edge of the monitors left: 0 .. 1860.
    ASSERT_TRUE(waitUntil([&] {
        return workArea(probe) == std::vector<std::uint32_t>{0, 0, 1860, 1080};
    })) << "the window manager kept its work area";

    // E: the row goes to the left monitor, the only one: five frames of 402 overlap and fill
    // its visible 1860 from x 0.
    const xcb_window_t e = open(500, 500);
    ASSERT_TRUE(waitUntil([&] { return app.countLines("整列実行") == 4; })) << app.errorOutput();
    const std::string line = app.linesWith("整列実行").back();
    EXPECT_NE(line.find("count=5 span=1860.0 "), std::string::npos) << line;
    EXPECT_NE(line.find(" startX=0.0 "), std::string::npos) << line;
    const bool inside = waitUntil([&] {
        for (xcb_window_t w : {a, b, c, d, e}) {
            const auto at = probe.frame(w);
            if (!at || at->x < 0 || at->x + frame->first > 1860 || at->y < 0 ||
                at->y + frame->second > 1080) {
                return false;
            }
        }
        return true;
    });
    EXPECT_TRUE(inside) << app.errorOutput();
    std::cout << "after unplugging: " << line << "\n";

    app.expectCleanQuit();
}

}  // namespace
}  // namespace tallowmere::stress

int main(int argc, char** argv) {
    return tallowmere::kit::runOnPrivateDesktop(argc, argv);
}
