#include "platform/sim/sim_hot_key_service.h"

#include <algorithm>

namespace tallowmere::sim {

inline constexpr OSStatus kEventHotKeyInvalidErr = -9879;

class SimHotKeyService::Ref final : public EventHotKeyRefImpl {
  public:
    explicit Ref(std::uint32_t id) : id(id) {}
    std::uint32_t id;
};

OSStatus SimHotKeyService::installPressHandler(PressHandler handler) {
    operations_.push_back({"install"});
    if (installFailure_) {
        return *installFailure_;
    }
    handlers_.push_back(std::move(handler));
    return kNoErr;
}

RegisterHotKeyResult SimHotKeyService::registerHotKey(std::uint32_t keyCode,
                                                      std::uint32_t carbonModifiers,
                                                      EventHotKeyID id) {
    const bool heldHere =
        std::any_of(registrations_.begin(), registrations_.end(), [&](const Registration& r) {
            return r.keyCode == keyCode && r.carbonModifiers == carbonModifiers;
        });
    if (heldHere || heldElsewhere_.contains({keyCode, carbonModifiers})) {
        operations_.push_back({"refused", keyCode, carbonModifiers, id.id});
        return {kEventHotKeyExistsErr, nullptr};
    }
    operations_.push_back({"register", keyCode, carbonModifiers, id.id});
    registrations_.push_back({keyCode, carbonModifiers, id});
    return {kNoErr, std::make_shared<Ref>(id.id)};
}

OSStatus SimHotKeyService::unregisterHotKey(const EventHotKeyRef& ref) {
    const auto* own = dynamic_cast<const Ref*>(ref.get());
    if (!own) {
        return kEventHotKeyInvalidErr;
    }
    const auto found = std::find_if(registrations_.begin(), registrations_.end(),
                                    [&](const Registration& r) { return r.id.id == own->id; });
    if (found == registrations_.end()) {
        return kEventHotKeyInvalidErr;
    }
    operations_.push_back({"unregister", found->keyCode, found->carbonModifiers, own->id});
    registrations_.erase(found);
    return kNoErr;
}

void SimHotKeyService::holdElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers) {
    heldElsewhere_.insert({keyCode, carbonModifiers});
}

void SimHotKeyService::releaseElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers) {
    heldElsewhere_.erase({keyCode, carbonModifiers});
}

std::optional<OSStatus> SimHotKeyService::press(std::uint32_t keyCode,
                                                std::uint32_t carbonModifiers) {
    for (const auto& registration : registrations_) {
        if (registration.keyCode == keyCode && registration.carbonModifiers == carbonModifiers) {
            return deliver(registration.id);
        }
    }
    return std::nullopt;
}

std::optional<OSStatus> SimHotKeyService::deliver(EventHotKeyID id) {
    // The system calls the most recently installed handler first and stops at the first that
    // handles the press.
    const auto handlers = handlers_;
    for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) {
        const OSStatus status = (*it)(id);
        if (status == kNoErr) {
            return status;
        }
    }
    return handlers.empty() ? std::nullopt : std::optional<OSStatus>(kEventHotKeyInvalidErr);
}

}  // namespace tallowmere::sim
