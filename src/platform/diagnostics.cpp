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
    // Fixed notation keeps 1e21 and 1e-7 readable as plain decimals, still round-tripping. The
    // longest is the smallest normal double negated: "-0.", 307 zeros and 17 digits.
    char buffer[400];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr;
    std::string text(buffer, end);
    if (text.find('.') == std::string::npos) {
        text += ".0";
    }
    return text;
}

}  // namespace tallowmere
