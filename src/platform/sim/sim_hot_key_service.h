// Hot keys on the simulated desktop: registrations are recorded, tests refuse combinations (as
// if another program held them) and press keys, which reach the installed press handler.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/hot_key_service.h"

namespace tallowmere::sim {

class SimHotKeyService final : public HotKeyService {
  public:
    struct Registration {
        std::uint32_t keyCode = 0;
        std::uint32_t carbonModifiers = 0;
        EventHotKeyID id;
    };
    // One call in the order it was made: "install", "register", "refused" or "unregister".
    struct Operation {
        std::string what;
        std::uint32_t keyCode = 0;
        std::uint32_t carbonModifiers = 0;
        std::uint32_t id = 0;
        friend bool operator==(const Operation&, const Operation&) = default;
    };

    OSStatus installPressHandler(PressHandler handler) override;
    RegisterHotKeyResult registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                        EventHotKeyID id) override;
    OSStatus unregisterHotKey(const EventHotKeyRef& ref) override;

    // --- scripting ---
    // A combination held elsewhere: registering it fails until released. A combination this
    // service already holds is refused the same way.
    void holdElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers);
    void releaseElsewhere(std::uint32_t keyCode, std::uint32_t carbonModifiers);
    void failInstall(std::optional<OSStatus> status) { installFailure_ = status; }
    // The user presses a combination: none when no registration holds it (the key then reaches
    // the frontmost application), else the press handler's status.
    std::optional<OSStatus> press(std::uint32_t keyCode, std::uint32_t carbonModifiers);
    // Delivers a press for any identifier, as the system would for a registration it still knows.
    std::optional<OSStatus> deliver(EventHotKeyID id);

    // --- inspection ---
    const std::vector<Registration>& registrations() const { return registrations_; }
    const std::vector<Operation>& operations() const { return operations_; }
    void clearOperations() { operations_.clear(); }
    std::size_t installedHandlerCount() const { return handlers_.size(); }

  private:
    class Ref;

    std::vector<PressHandler> handlers_;
    std::vector<Registration> registrations_;
    std::vector<Operation> operations_;
    std::set<std::pair<std::uint32_t, std::uint32_t>> heldElsewhere_;
    std::optional<OSStatus> installFailure_;
};

}  // namespace tallowmere::sim
