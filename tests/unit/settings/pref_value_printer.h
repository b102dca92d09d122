// Readable gtest output for stored values and store operations.
#pragma once

#include <ostream>
#include <variant>

#include "platform/preferences_store.h"
#include "platform/sim/sim_preferences_store.h"

namespace tallowmere {

inline void PrintTo(const PrefValue& value, std::ostream* out) {
    std::visit(
        [out](const auto& held) {
            using T = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<T, bool>) {
                *out << (held ? "true" : "false");
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                *out << held << "(int)";
            } else if constexpr (std::is_same_v<T, double>) {
                *out << held << "(real)";
            } else if constexpr (std::is_same_v<T, std::string>) {
                *out << '"' << held << '"';
            } else if constexpr (std::is_same_v<T, PrefData>) {
                *out << "data[" << held.size() << "]";
            } else {
                *out << '[';
                for (const PrefValue& element : held) {
                    PrintTo(element, out);
                    *out << ' ';
                }
                *out << ']';
            }
        },
        value.value);
}

}  // namespace tallowmere

namespace tallowmere::sim {

inline void PrintTo(const SimPreferencesStore::Operation& operation, std::ostream* out) {
    *out << operation.key;
    if (operation.value) {
        *out << " = ";
        PrintTo(*operation.value, out);
    } else {
        *out << " removed";
    }
}

}  // namespace tallowmere::sim
