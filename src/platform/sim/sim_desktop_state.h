// The simulated desktop's internal records, shared by its source files.
#pragma once

#include <map>
#include <string>
#include <typeinfo>
#include <vector>

#include "platform/sim/sim_desktop.h"

namespace tallowmere::sim {

struct SimDesktop::WindowState {
    WindowId id = 0;
    Pid pid = 0;
    WindowSpec props;
    bool destroyed = false;
    bool readableWhileDestroyed = false;
    std::map<std::string, AXReadResult, std::less<>> overrides;
    std::optional<AXError> writeError;
};

struct SimDesktop::AppState {
    RunningApplication application;
    bool running = true;
    std::vector<WindowId> windows;  // opening order
    std::map<std::string, AXReadResult, std::less<>> overrides;
};

struct SimDesktop::ElementRef final : AXElementRef {
    enum class Kind { application, window };
    ElementRef(Kind k, Pid p, WindowId w) : kind(k), pid(p), window(w) {}

    bool equals(const AXElementRef& other) const override {
        // Compared in the engine's inner loops: a type check is much cheaper than a dynamic_cast.
        if (typeid(other) != typeid(ElementRef)) {
            return false;
        }
        const auto* ref = static_cast<const ElementRef*>(&other);
        if (ref->kind != kind) {
            return false;
        }
        return kind == Kind::application ? ref->pid == pid : ref->window == window;
    }

    Kind kind;
    Pid pid;
    WindowId window;
};

}  // namespace tallowmere::sim
