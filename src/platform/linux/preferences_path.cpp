#include "platform/linux/preferences_path.h"

#include <cstdlib>

namespace tallowmere {
namespace {

// The base directory rules ignore relative values: they would depend on the working directory.
bool usable(std::optional<std::string_view> value) {
    return value && !value->empty() && value->front() == '/';
}

std::optional<std::string_view> environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string_view>(value) : std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> preferencesPathFor(
    std::optional<std::string_view> xdgConfigHome, std::optional<std::string_view> home) {
    std::filesystem::path base;
    if (usable(xdgConfigHome)) {
        base = *xdgConfigHome;
    } else if (usable(home)) {
        base = std::filesystem::path(*home) / ".config";
    } else {
        return std::nullopt;
    }
    return base / "tallowmere" / "preferences.json";
}

std::optional<std::filesystem::path> defaultPreferencesPath() {
    return preferencesPathFor(environment("XDG_CONFIG_HOME"), environment("HOME"));
}

}  // namespace tallowmere
