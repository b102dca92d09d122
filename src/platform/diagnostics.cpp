#include "platform/diagnostics.h"

#include <charconv>
#include <cmath>

namespace tallowmere {

std::string formatDouble(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    char buffer[64];
    // Fixed notation keeps 1e21 and 1e-7 readable as plain decimals, still round-tripping.
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    std::string text = ec == std::errc() ? std::string(buffer, end) : std::to_string(value);
    if (text.find('.') == std::string::npos) {
        text += ".0";
    }
    return text;
}

}  // namespace tallowmere
