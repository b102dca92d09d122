// The program on a real desktop with xterms: the fixture the arrangement scenarios share.
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

using kit::Box;
using kit::ChildProcess;
using kit::Finished;
using kit::FramePosition;
using kit::runTallowmere;
using kit::Tallowmere;
using kit::waitUntil;
using kit::Xterm;
using Desktop = kit::Probe;

// xterm -geometry 80x24 with the default 6x13 font is 80*6 + 2*2 = 484 by 24*13 + 2*2 = 316.
constexpr int kClientWidth = 484;
constexpr int kClientHeight = 316;

inline std::string preferences(const std::string& easing, double duration = 0.25,
                               bool flash = false) {
    return kit::rowPreferences("XTerm", easing, duration, flash);
}

class Arrangement : public ::testing::Test {
  protected:
    void SetUp() override { useDesktop(std::getenv("DISPLAY")); }

    // A desktop of the test's own, with the window manager of the shared one, for a test that
    // leaves its desktop changed.
    void useOwnDesktop() {
        const char* wm = std::getenv("TALLOWMERE_WM");
        own_ = std::make_unique<kit::DisplaySession>(
            kit::DesktopOptions{.windowManager = wm ? wm : "openbox"});
        ASSERT_TRUE(own_->display()) << "no desktop of its own";
        useDesktop(*own_->display());
    }

    void useDesktop(const std::string& display) {
        display_ = display;
        desktop_ = std::make_unique<Desktop>(display_);
    }

    void TearDown() override {
        if (app_) {
            app_->expectCleanQuit();
            app_.reset();
        }
        closeAll();
    }

    void closeAll() {
        std::vector<xcb_window_t> windows = dialogs_;
        for (xcb_window_t dialog : dialogs_) {
            desktop_->closeWindow(dialog);
        }
        for (Xterm& xterm : xterms_) {
            windows.push_back(xterm.window);
            xterm.process.reset();
        }
        EXPECT_TRUE(waitUntil([&] {
            return std::none_of(windows.begin(), windows.end(),
                                [&](xcb_window_t w) { return desktop_->listed(w); });
        })) << "windows left over";
        xterms_.clear();
        dialogs_.clear();
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

    Xterm& open(int x, int y, const std::string& wmClass = "XTerm") {
        xterms_.push_back(kit::openXterm(*desktop_, x, y, wmClass));
        Xterm& xterm = xterms_.back();
        EXPECT_NE(xterm.window, XCB_WINDOW_NONE) << "xterm did not show";
        // Frame = client + the window manager's _NET_FRAME_EXTENTS (openbox 486 x 341, xfwm4
        // 494 x 350).
        const auto extents = desktop_->frameExtents(xterm.window);
        EXPECT_TRUE(extents) << "the window manager sets no _NET_FRAME_EXTENTS";
        if (w_ == 0 && extents) {
            w_ = kClientWidth + extents->left + extents->right;
            h_ = kClientHeight + extents->top + extents->bottom;
        }
        EXPECT_EQ(desktop_->clientSize(xterm.window),
                  (std::pair<int, int>{kClientWidth, kClientHeight}))
            << "the hand-computed rows assume xterm's default font";
        return xterm;
    }

    // Waits until every window's frame stands at its place; reports where they are otherwise.
    void expectFrames(const std::vector<std::pair<const Xterm*, FramePosition>>& expected,
                      double seconds = 10) {
        std::vector<std::pair<xcb_window_t, FramePosition>> places;
        for (const auto& [xterm, place] : expected) {
            places.push_back({xterm->window, place});
        }
        const std::string report = desktop_->waitForFrames(places, seconds);
        EXPECT_EQ(report, "") << (app_ ? app_->errorOutput() : "");
    }

    std::unique_ptr<kit::DisplaySession> own_;
    std::string display_;
    int w_ = 0;
    int h_ = 0;
    std::unique_ptr<Desktop> desktop_;
    std::unique_ptr<Tallowmere> app_;
    std::deque<Xterm> xterms_;
    std::vector<xcb_window_t> dialogs_;
};

}  // namespace tallowmere::e2e
