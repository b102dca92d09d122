#include "ui/running_program.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

namespace tallowmere::ui {

namespace {

namespace fs = std::filesystem;

std::optional<fs::path> onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!dirs.empty()) {
        const auto colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
        if (dir.empty()) {
            continue;
        }
        fs::path candidate = fs::path(dir) / name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::string baseName(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

bool processRunsProgram(Pid pid, const std::string& program) {
    if (pid <= 0 || program.empty()) {
        return false;
    }
    const fs::path proc = fs::path("/proc") / std::to_string(pid);
    std::error_code error;
    const std::optional<fs::path> file =
        program.find('/') != std::string::npos ? std::optional(fs::path(program)) : onPath(program);
    if (file) {
        const fs::path executable = fs::read_symlink(proc / "exe", error);
        const fs::path wanted = fs::canonical(*file, error);
        if (!error && !executable.empty() && executable == wanted) {
            return true;
        }
    }
    std::ifstream cmdline(proc / "cmdline", std::ios::binary);
    std::string first;
    if (!std::getline(cmdline, first, '\0') || first.empty()) {
        return false;
    }
    return baseName(first) == baseName(program);
}

}  // namespace tallowmere::ui
