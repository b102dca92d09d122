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

}  // namespace

std::optional<std::string> startupWMClass(std::istream& entry) {
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
        if (!inMainGroup || equals == std::string_view::npos ||
            trimmed(text.substr(0, equals)) != "StartupWMClass") {
            continue;
        }
        std::string value = unescaped(trimmed(text.substr(equals + 1)));
        if (value.empty()) {
            return std::nullopt;
        }
        return value;
    }
    return std::nullopt;
}

std::optional<std::string> startupWMClassOfFile(const std::filesystem::path& file) {
    // A FIFO named *.desktop would block the open below.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return startupWMClass(in);
}

}  // namespace tallowmere::ui
