// An in-memory preferences store that tests seed with any values (wrong types included) and
// inspect: its contents, and the log of every change made to it.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/preferences_store.h"

namespace tallowmere::sim {

class SimPreferencesStore final : public PreferencesStore {
  public:
    // One change as it reached the store: a value set, or (value none) a key removed. Removing an
    // absent key is logged too, because whether it was asked for is what tests check.
    struct Operation {
        std::string key;
        std::optional<PrefValue> value;

        static Operation set(std::string key, PrefValue value) {
            return {std::move(key), std::move(value)};
        }
        static Operation remove(std::string key) { return {std::move(key), std::nullopt}; }
        friend bool operator==(const Operation&, const Operation&) = default;
    };
    using Contents = std::map<std::string, PrefValue, std::less<>>;

    SimPreferencesStore() = default;
    // Seeded contents, not logged.
    explicit SimPreferencesStore(Contents initial) : contents_(std::move(initial)) {}

    std::optional<PrefValue> objectForKey(std::string_view key) override;
    void setObject(std::string_view key, const PrefValue& value) override;
    void removeObject(std::string_view key) override;

    const Contents& contents() const { return contents_; }
    const std::vector<Operation>& log() const { return log_; }
    void clearLog() { log_.clear(); }

  private:
    Contents contents_;
    std::vector<Operation> log_;
};

}  // namespace tallowmere::sim
