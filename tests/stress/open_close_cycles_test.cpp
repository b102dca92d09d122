// The program through many open/close cycles of a followed application's windows while its
// animations and flash overlays run: it stays up, its memory and its X resources stay flat.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "desktop_gauges.h"
#include "program_under_test.h"
#include "window_owner.h"

namespace tallowmere::stress {
namespace {

using kit::waitUntil;

#ifdef TALLOWMERE_SANITIZED
// The sanitizer's quarantine keeps freed memory resident: growth says nothing there.
constexpr bool kMeasureMemory = false;
#else
constexpr bool kMeasureMemory = true;
#endif

TEST(OpenCloseCycles, ProgramStaysUpWithFlatMemoryAndXResources) {
    const std::string display = std::getenv("DISPLAY");
    const int cycles = countFromEnvironment("TALLOWMERE_STRESS_CYCLES", 50);
    // Samples every tenth of the run; the second one, after a fifth of the run as warm-up (Qt's
    // caches fill, the heap finds its size), is the baseline.
    const int every = std::max(1, cycles / 10);
    const int warmUp = 2 * every;

    kit::WindowOwner owner(display);
    kit::Probe probe(display);
    const xcb_window_t a = owner.create("Cycle", 300, 300, 300, 200);
    ASSERT_TRUE(waitUntil([&] { return probe.listed(a) && probe.normalState(a); }));
    kit::Tallowmere app(kit::rowPreferences("Cycle", "linear", 0.2, true), display);
    ASSERT_TRUE(app.waitStarted()) << app.errorOutput();
    const ResourceCounts start = xResources(probe, app.pid());
    ASSERT_TRUE(start.count("WINDOW")) << "the X server does not know the program's clients";
    // The counts to compare are taken once every flash overlay is gone.
    auto settled = [&] {
        waitUntil([&] { return shownTopLevels(probe, app.pid()) == 0; });
        return xResources(probe, app.pid());
    };
    const xcb_window_t b = owner.create("Cycle", 900, 300, 300, 200);
    ASSERT_TRUE(waitUntil([&] { return app.countLines("整列実行") == 1; })) << app.errorOutput();
    (void)b;

    std::vector<long> rss;
    long baseline = 0;
    ResourceCounts warm;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        // Opened: one arrangement; closed while it still glides: one more.
        const xcb_window_t c = owner.create("Cycle", 1400, 600, 300, 200);
        ASSERT_NE(c, XCB_WINDOW_NONE);
        ASSERT_TRUE(waitUntil([&] { return app.countLines("整列実行") == std::size_t(2 * cycle); }))
            << "cycle " << cycle << " open\n"
            << app.errorOutput().substr(0, 4000);
        owner.destroy(c);
        ASSERT_TRUE(waitUntil([&] {
            return app.countLines("整列実行") == std::size_t(2 * cycle + 1);
        })) << "cycle "
            << cycle << " close\n"
            << app.errorOutput().substr(0, 4000);
        ASSERT_TRUE(app.running()) << "cycle " << cycle;
        if (cycle % every == 0) {
            const auto kb = residentKb(app.pid());
            ASSERT_TRUE(kb);
            rss.push_back(*kb);
            if (cycle == warmUp) {
                warm = settled();
                baseline = *kb;
            }
        }
    }
    ASSERT_GE(rss.size(), 2u);
    std::cout << "open/close cycles: " << cycles << "\nVmRSS kB every " << every << " cycles:";
    for (long kb : rss) {
        std::cout << ' ' << kb;
    }
    std::cout << "\nrss growth after warm-up (cycle " << warmUp
              << " to the end): " << rss.back() - baseline << " kB\n";

    // Every count back at or below its level after the warm-up. A feedback window is unmapped
    // a moment before Qt destroys it, so a leak is what stays for seconds, not what is counted
    // at the first look.
    ResourceCounts last = settled();
    const auto isFlat = [&warm](const ResourceCounts& counts) {
        for (const auto& [type, count] : counts) {
            if (count > (warm.count(type) ? warm.at(type) : 0)) {
                return false;
            }
        }
        return true;
    };
    waitUntil(
        [&] {
            last = xResources(probe, app.pid());
            return isFlat(last);
        },
        5);
    const bool flat = isFlat(last);
    std::cout << "X resources at the start:  " << describe(start) << "\n"
              << "X resources after warm-up: " << describe(warm) << "\n"
              << "X resources at the end:    " << describe(last) << "\n";
    EXPECT_TRUE(flat) << "X resources grew";
    // A short run only reports: over 50 cycles the heap swings by more than the limit either way
    // (±1.5 MB seen), while over the soak's 1 000 a real leak of even 1 kB a cycle shows.
    if (kMeasureMemory && cycles >= 500) {
        EXPECT_LT(rss.back() - baseline, 1024) << "resident memory grew";
    }

    app.expectCleanQuit();
}

}  // namespace
}  // namespace tallowmere::stress
