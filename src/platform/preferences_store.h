// The preferences-store port: a per-user key-value store of typed values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tallowmere {

struct PrefValue;
using PrefArray = std::vector<PrefValue>;
using PrefData = std::vector<std::uint8_t>;

// Integers and reals are both numbers; the distinction survives a round trip through a store.
struct PrefValue {
    std::variant<bool, std::int64_t, double, std::string, PrefData, PrefArray> value;

    PrefValue() : value(false) {}
    PrefValue(bool b) : value(b) {}
    PrefValue(int i) : value(static_cast<std::int64_t>(i)) {}
    PrefValue(std::int64_t i) : value(i) {}
    PrefValue(double d) : value(d) {}
    PrefValue(std::string s) : value(std::move(s)) {}
    PrefValue(const char* s) : value(std::string(s)) {}
    PrefValue(PrefData d) : value(std::move(d)) {}
    PrefValue(PrefArray a) : value(std::move(a)) {}

    bool isNumber() const {
        return std::holds_alternative<std::int64_t>(value) || std::holds_alternative<double>(value);
    }
    double asDouble() const {
        if (auto* i = std::get_if<std::int64_t>(&value)) {
            return static_cast<double>(*i);
        }
        return std::get<double>(value);
    }
    friend bool operator==(const PrefValue&, const PrefValue&) = default;
};

class PreferencesStore {
  public:
    virtual ~PreferencesStore() = default;
    virtual std::optional<PrefValue> objectForKey(std::string_view key) = 0;
    virtual void setObject(std::string_view key, const PrefValue& value) = 0;
    virtual void removeObject(std::string_view key) = 0;
};

}  // namespace tallowmere
