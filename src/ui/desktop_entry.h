// Reads the one key of a desktop entry file (*.desktop) that names its application's windows.
#pragma once

#include <filesystem>
#include <istream>
#include <optional>
#include <string>

namespace tallowmere::ui {

// StartupWMClass of the [Desktop Entry] group, unescaped; none when absent or empty. Other groups
// (actions) and localised variants of the key are not the entry's own value.
std::optional<std::string> startupWMClass(std::istream& entry);
// The same for a file; none when it is not a readable regular file.
std::optional<std::string> startupWMClassOfFile(const std::filesystem::path& file);

}  // namespace tallowmere::ui
