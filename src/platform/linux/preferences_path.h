// Where the preferences file lives: $XDG_CONFIG_HOME/tallowmere/preferences.json, falling back to
// $HOME/.config when XDG_CONFIG_HOME is unset, empty or relative.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace tallowmere {

// From given variable values (none = unset); none when HOME is needed and unset, empty or relative.
std::optional<std::filesystem::path> preferencesPathFor(
    std::optional<std::string_view> xdgConfigHome, std::optional<std::string_view> home);

// From this process's environment.
std::optional<std::filesystem::path> defaultPreferencesPath();

}  // namespace tallowmere
