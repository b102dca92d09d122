#include "ui/desktop_entry.h"

#include <fstream>
#include <string_view>
#include <system_error>

namespace tallowmere::ui {

namespace {

// Real entries are a few kilobytes; a larger file is not one worth reading to the end.
constexpr std::streamsize kMaxEntryBytes = 1 << 20;

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The escapes a string value may hold: \s \n \t \r \\.
std::string unescaped(std::string_view value) {
    std::string result;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            result += value[i];
            continue;
        }
        switch (const char next = value[++i]) {
            case 's':
                result += ' ';
                break;
            case 'n':
                result += '\n';
                break;
            case 't':
                result += '\t';
                break;
            case 'r':
                result += '\r';
                break;
            default:
                result += next;
                break;
        }
    }
    return result;
}

// The first argument of an Exec value (escapes already undone): up to the first blank, or a
// double-quoted string in which a backslash takes the next character literally.
std::optional<std::string> firstArgument(std::string_view exec) {
    exec = trimmed(exec);
    std::string argument;
    if (!exec.empty() && exec.front() == '"') {
        for (std::size_t i = 1; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size()) {
                ++i;
            }
            argument += exec[i];
        }
    } else {
        argument = exec.substr(0, exec.find_first_of(" \t"));
    }
    if (argument.empty()) {
        return std::nullopt;
    }
    return argument;
}

}  // namespace

DesktopEntry readDesktopEntry(std::istream& entry) {
    DesktopEntry result;
    bool inMainGroup = false;
    std::streamsize consumed = 0;
    std::string line;
    while (consumed < kMaxEntryBytes && std::getline(entry, line)) {
        consumed += static_cast<std::streamsize>(line.size()) + 1;
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        if (text.front() == '[') {
            inMainGroup = text == "[Desktop Entry]";
            continue;
        }
        const auto equals = text.find('=');
        if (!inMainGroup || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = trimmed(text.substr(0, equals));
        std::string value = unescaped(trimmed(text.substr(equals + 1)));
        if (key == "Name" || key == "StartupWMClass") {
            (key == "Name" ? result.name : result.startupWMClass) =
                value.empty() ? std::nullopt : std::optional<std::string>(std::move(value));
        } else if (key == "Exec") {
            result.execProgram = firstArgument(value);
        }
    }
    return result;
}

std::optional<DesktopEntry> readDesktopEntryFile(const std::filesystem::path& file) {
    // A FIFO named *.desktop would block the open below.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return readDesktopEntry(in);
}

}  // namespace tallowmere::ui
