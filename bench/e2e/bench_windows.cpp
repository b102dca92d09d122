#include "bench/e2e/bench_windows.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "bench/e2e/xcb_helpers.h"

namespace tallowmere::bench {
namespace {

constexpr uint16_t kWidth = 110;
constexpr uint16_t kHeight = 90;

}  // namespace

BenchWindows::BenchWindows(std::string windowClass)
    : class_(std::move(windowClass)), c_(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(c_)) {
        return;
    }
    screen_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    netWmPid_ = internAtom(c_, "_NET_WM_PID");
    netMoveResize_ = internAtom(c_, "_NET_MOVERESIZE_WINDOW");
}

BenchWindows::~BenchWindows() {
    xcb_disconnect(c_);
}

bool BenchWindows::ok() const {
    return xcb_connection_has_error(c_) == 0;
}

xcb_window_t BenchWindows::open(int index) {
    discardEvents();
    const xcb_window_t w = xcb_generate_id(c_);
    const int16_t x = static_cast<int16_t>(40 + 23 * index);
    const int16_t y = static_cast<int16_t>(300 + 17 * index);
    const uint32_t values[] = {screen_->white_pixel};
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, screen_->root, x, y, kWidth, kHeight, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, XCB_CW_BACK_PIXEL,
                      values);

    std::string instance = class_;
    std::transform(instance.begin(), instance.end(), instance.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    std::string wmClass = instance + '\0' + class_ + '\0';
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(wmClass.size()), wmClass.data());
    const std::string name = "bench " + std::to_string(index);
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(name.size()), name.data());
    const uint32_t pid = static_cast<uint32_t>(getpid());
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, netWmPid_, XCB_ATOM_CARDINAL, 32, 1, &pid);
    // WM_NORMAL_HINTS with USPosition and USSize: window managers keep a user-given place.
    uint32_t hints[18] = {};
    hints[0] = 1u | 2u;
    hints[1] = static_cast<uint32_t>(x);
    hints[2] = static_cast<uint32_t>(y);
    hints[3] = kWidth;
    hints[4] = kHeight;
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
    xcb_map_window(c_, w);
    xcb_flush(c_);
    windows_.push_back(w);
    return w;
}

void BenchWindows::moveFrame(size_t index, int x, int y) {
    if (index < windows_.size()) {
        sendFrameMove(c_, screen_->root, netMoveResize_, windows_[index], x, y);
        xcb_flush(c_);
    }
}

void BenchWindows::closeAll() {
    for (auto w : windows_) {
        xcb_destroy_window(c_, w);
    }
    windows_.clear();
    xcb_flush(c_);
    discardEvents();
}

void BenchWindows::discardEvents() {
    while (auto* event = xcb_poll_for_event(c_)) {
        std::free(event);
    }
}

}  // namespace tallowmere::bench
