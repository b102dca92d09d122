#include "platform/sim/sim_preferences_store.h"

namespace tallowmere::sim {

std::optional<PrefValue> SimPreferencesStore::objectForKey(std::string_view key) {
    const auto it = contents_.find(key);
    if (it == contents_.end()) {
        return std::nullopt;
    }
    return it->second;
}

void SimPreferencesStore::setObject(std::string_view key, const PrefValue& value) {
    contents_.insert_or_assign(std::string(key), value);
    log_.push_back(Operation::set(std::string(key), value));
}

void SimPreferencesStore::removeObject(std::string_view key) {
    if (const auto it = contents_.find(key); it != contents_.end()) {
        contents_.erase(it);
    }
    log_.push_back(Operation::remove(std::string(key)));
}

}  // namespace tallowmere::sim
