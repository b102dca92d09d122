// Reads the keys of a desktop entry file (*.desktop) that the program uses: the Name, and what
// tells which windows are its application's (StartupWMClass, or else the program that Exec runs).
#pragma once

#include <filesystem>
#include <istream>
#include <optional>
#include <string>

namespace tallowmere::ui {

// Values of the [Desktop Entry] group only: other groups (actions) and localised variants of a key
// are not the entry's own value.
struct DesktopEntry {
    // Unescaped; none when absent or empty.
    std::optional<std::string> name;
    // Unescaped; none when absent or empty.
    std::optional<std::string> startupWMClass;
    // The first argument of Exec, unescaped and unquoted (a path or a name to find on PATH); none
    // when Exec is absent or empty.
    std::optional<std::string> execProgram;
};

DesktopEntry readDesktopEntry(std::istream& entry);
// The same for a file; none when it is not a readable regular file.
std::optional<DesktopEntry> readDesktopEntryFile(const std::filesystem::path& file);

}  // namespace tallowmere::ui
