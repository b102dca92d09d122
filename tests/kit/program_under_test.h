// The program under test with preferences of its own, and xterm windows for it to line up.
#pragma once

#include <xcb/xcb.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "probe.h"

namespace tallowmere::e2e {

using kit::Box;
using kit::ChildProcess;
using kit::FramePosition;
using kit::waitUntil;
using Desktop = kit::Probe;

// tallowmere --verbose with a private XDG_CONFIG_HOME holding the given preferences, and the
// environment's assignments on top.
class Tallowmere {
  public:
    Tallowmere(const std::string& preferencesJson, const std::string& display,
               const std::vector<std::string>& environment = {});
    ~Tallowmere();

    ChildProcess& process() { return *process_; }
    std::string errorOutput() const { return process_->errorOutput(); }
    std::size_t countLines(const std::string& fragment) const {
        return process_->countLines(fragment);
    }
    std::vector<std::string> linesWith(const std::string& fragment) const {
        return process_->linesWith(fragment);
    }
    const std::filesystem::path& preferencesFile() const { return preferences_; }
    std::string preferencesBytes() const;

  private:
    std::filesystem::path home_;
    std::filesystem::path preferences_;
    std::unique_ptr<ChildProcess> process_;
};

// A start of the program that is expected to end by itself: its exit status (none when it ran on
// for 20 s) and what it printed.
struct Finished {
    std::optional<int> status;
    std::string out;
    std::string err;
};
Finished runTallowmere(const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment = {});

// One xterm process with one window.
struct Xterm {
    std::unique_ptr<ChildProcess> process;
    xcb_window_t window = XCB_WINDOW_NONE;
};
Xterm openXterm(Desktop& desktop, int x, int y, const std::string& wmClass = "XTerm");

}  // namespace tallowmere::e2e
