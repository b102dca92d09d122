// The program through many open/close cycles of a followed application's windows while its
// animations and flash overlays run: it stays up, its memory and its X resources stay flat.
#include <gtest/gtest.h>
#include <xcb/res.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "program_under_test.h"
#include "window_owner.h"

namespace tallowmere::stress {
namespace {

using kit::waitUntil;

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

std::string describe(const ResourceCounts& counts) {
    std::ostringstream text;
    for (const auto& [type, count] : counts) {
        text << (text.tellp() > 0 ? " " : "") << type << '=' << count;
    }
    return text.str();
}

TEST(OpenCloseCycles, ProgramStaysUpWithFlatMemoryAndXResources) {
    const std::string display = std::getenv("DISPLAY");
    const char* cyclesSet = std::getenv("TALLOWMERE_STRESS_CYCLES");  // scripts/soak sets 1000
    const int cycles = cyclesSet && std::atoi(cyclesSet) > 0 ? std::atoi(cyclesSet) : 50;
    // Samples every tenth of the run; the second one, after a fifth of the run as warm-up (Qt's
    // caches fill, the heap finds its size), is the baseline.
    const int every = std::max(1, cycles / 10);
    const int warmUp = 2 * every;

    // Windows of another process: the next test's own reuse none of their ids.
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
        waitUntil([&] { return probe.unmanagedWindowsOf(app.pid()).empty(); });
        return xResources(probe, app.pid());
    };
    auto arranged = [&](int n) {
        return waitUntil([&] { return app.countLines("整列実行") == std::size_t(n); });
    };
    owner.create("Cycle", 900, 300, 300, 200);
    ASSERT_TRUE(arranged(1)) << app.errorOutput();

    std::vector<long> rss;
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
    const bool flat = waitUntil(
        [&] {
            last = xResources(probe, app.pid());
            return std::all_of(last.begin(), last.end(), [&](const auto& count) {
                return count.second <= (warm.count(count.first) ? warm.at(count.first) : 0);
            });
        },
        5);
    std::cout << "X resources at the start:  " << describe(start) << "\n"
              << "X resources after warm-up: " << describe(warm) << "\n"
              << "X resources at the end:    " << describe(last) << "\n";
    EXPECT_TRUE(flat) << "X resources grew";
    // A short run only reports: over 50 cycles the heap swings by more than the limit either way
    // (±1.5 MB seen), while over the soak's 1 000 a real leak of even 1 kB a cycle shows. The
    // sanitizer's quarantine keeps freed memory resident: growth says nothing there.
#ifndef TALLOWMERE_SANITIZED
    if (cycles >= 500) {
        EXPECT_LT(rss.back() - baseline, 1024) << "resident memory grew";
    }
#endif

    app.expectCleanQuit();
}

}  // namespace
}  // namespace tallowmere::stress
