#include "settings/shortcut_spec.h"

#include <limits>
#include <nlohmann/json.hpp>

namespace tallowmere {
namespace {

using nlohmann::json;

// Only a JSON integer without a sign counts: 15.0 and -0 are written by no encoder of ours, and
// accepting them would make two different texts decode to the same shortcut for no benefit.
template <typename Unsigned>
std::optional<Unsigned> unsignedMember(const json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_number_unsigned()) {
        return std::nullopt;
    }
    const auto value = it->get<json::number_unsigned_t>();
    if (value > std::numeric_limits<Unsigned>::max()) {
        return std::nullopt;
    }
    return static_cast<Unsigned>(value);
}

}  // namespace

std::optional<ShortcutSpec> decodeShortcut(const PrefData& data) {
    // Parsing without exceptions still validates the UTF-8 of every string; `discarded` marks
    // any failure.
    const json document = json::parse(data.begin(), data.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return std::nullopt;
    }
    const auto keyCode = unsignedMember<std::uint16_t>(document, "keyCode");
    const auto modifiers = unsignedMember<std::uint32_t>(document, "carbonModifiers");
    const auto display = document.find("displayString");
    if (!keyCode || !modifiers || display == document.end() || !display->is_string()) {
        return std::nullopt;
    }
    return ShortcutSpec{*keyCode, *modifiers, display->get<std::string>()};
}

std::optional<PrefData> encodeShortcut(const ShortcutSpec& shortcut) {
    const json document = {
        {"keyCode", shortcut.keyCode},
        {"carbonModifiers", shortcut.carbonModifiers},
        {"displayString", shortcut.displayString},
    };
    try {
        // Compact, and strict about UTF-8: a text we could not read back is not worth storing.
        const std::string text = document.dump();
        return PrefData(text.begin(), text.end());
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

}  // namespace tallowmere
