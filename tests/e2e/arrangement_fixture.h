// The program with xterms on a desktop of the test's own, under the window manager the test binary
// was started for: the fixture the arrangement scenarios share.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <memory>

#include "display_session.h"
#include "program_under_test.h"

namespace tallowmere::e2e {

using kit::FramePosition;
using kit::runTallowmere;
using kit::Tallowmere;
using kit::waitUntil;
using kit::Xterm;

inline std::string preferences(const std::string& easing, double duration = 0.25,
                               bool flash = false) {
    return kit::rowPreferences("XTerm", easing, duration, flash);
}

class Arrangement : public ::testing::Test {
  protected:
    void SetUp() override { freshDesktop(); }

    void TearDown() override {
        if (app_) {
            app_->expectCleanQuit();
            app_.reset();
        }
        closeAll();
    }

    // A new X server and window manager: nothing of an earlier test or case is left on it.
    void freshDesktop() {
        desktop_.reset();
        session_.reset();
        const char* wm = std::getenv("TALLOWMERE_WM");
        session_ = std::make_unique<kit::DisplaySession>(wm ? wm : "openbox");
        ASSERT_TRUE(session_->display()) << "no desktop of its own";
        display_ = *session_->display();
        desktop_ = std::make_unique<kit::Probe>(display_);
    }

    void closeAll() {
        std::vector<xcb_window_t> windows;
        for (Xterm& xterm : xterms_) {
            windows.push_back(xterm.window);
        }
        xterms_.clear();
        EXPECT_TRUE(waitUntil([&] {
            return std::none_of(windows.begin(), windows.end(),
                                [&](xcb_window_t w) { return desktop_->listed(w); });
        })) << "windows left over";
    }

    // A first XTerm window, then the program, which starts following XTerm and leaves the window
    // where it is. (Opened the other way round, the program's handling of the first window
    // 0.05 s after its creation could race the second xterm's start.)
    Xterm& startWith(const std::string& json, int x, int y,
                     const std::vector<std::string>& environment = {}) {
        Xterm& first = open(x, y);
        app_ = std::make_unique<Tallowmere>(json, display_, environment);
        EXPECT_TRUE(app_->waitStarted()) << app_->errorOutput();
        return first;
    }

    // Frames are w_ x h_: xterm's 484 x 316 (80x24 of the 6x13 font, 2 px borders) and the window
    // manager's extents (openbox 486 x 341, xfwm4 494 x 350).
    Xterm& open(int x, int y, const std::string& wmClass = "XTerm") {
        Xterm& xterm = xterms_.emplace_back(kit::openXterm(*desktop_, x, y, wmClass));
        EXPECT_NE(xterm.window, XCB_WINDOW_NONE) << "xterm did not show";
        const auto frame = desktop_->frameSize(xterm.window);
        EXPECT_TRUE(frame) << "the window manager sets no _NET_FRAME_EXTENTS";
        std::tie(w_, h_) = frame.value_or(std::pair{0, 0});
        return xterm;
    }

    // Waits until every window's frame stands at its place; reports where they are otherwise.
    void expectFrames(const std::vector<std::pair<const Xterm*, FramePosition>>& expected,
                      double seconds = 10) {
        std::vector<std::pair<xcb_window_t, FramePosition>> places;
        for (const auto& [xterm, place] : expected) {
            places.push_back({xterm->window, place});
        }
        EXPECT_EQ(desktop_->waitForFrames(places, seconds), "")
            << (app_ ? app_->errorOutput() : "");
    }

    std::unique_ptr<kit::DisplaySession> session_;
    std::string display_;
    int w_ = 0;
    int h_ = 0;
    std::unique_ptr<kit::Probe> desktop_;
    std::unique_ptr<Tallowmere> app_;
    std::deque<Xterm> xterms_;
};

}  // namespace tallowmere::e2e
