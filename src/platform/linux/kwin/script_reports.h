// What the compositor's script reports, decoded from its JSON with bounds: every field is checked,
// numbers are clamped, and a malformed report decodes to nothing rather than to a half window.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/geometry.h"

namespace tallowmere::kwin {

// Compositor coordinates: y grows down from the top of the first screen.
struct FrameRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const FrameRect&, const FrameRect&) = default;
};

struct ReportedWindow {
    std::string id;  // KWin's internal id: unique for the window's life
    std::string resourceClass;
    std::optional<Pid> pid;
    FrameRect frame;
    bool normal = false;
    bool dialog = false;
    bool transient = false;
    bool panel = false;  // a dock or the desktop
    bool minimized = false;
    bool onCurrentDesktop = true;
    friend bool operator==(const ReportedWindow&, const ReportedWindow&) = default;
};

struct ReportedScreen {
    FrameRect frame;
    FrameRect workArea;  // less panels
};

struct Snapshot {
    std::vector<ReportedWindow> windows;
    std::string active;  // empty when no window is active
    std::vector<ReportedScreen> screens;
};

std::optional<ReportedWindow> decodeWindow(std::string_view json);
std::optional<Snapshot> decodeSnapshot(std::string_view json);

// Where one of our feedback windows, known by its title, is to stand.
struct Placement {
    std::string title;
    FrameRect frame;
};

// The batch the script applies: {"moves": [[id, x, y], ...], "place": [[title, x, y, w, h], ...]}.
struct Move;
std::string encodeBatch(const std::vector<Move>& moves, const std::vector<Placement>& placements);

}  // namespace tallowmere::kwin
