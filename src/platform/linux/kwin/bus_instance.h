// One program per session on a Wayland desktop, and the commands a later start hands to it: a
// unique name on the session bus, which the bus frees when its owner dies, so that a killed
// program leaves nothing stale. Plain libdbus, because the claim comes before Qt starts.
#pragma once

#include <memory>
#include <string>

#include "platform/single_instance.h"

struct DBusConnection;

namespace tallowmere::kwin {

// Whether a name is owned on the session bus; false without a bus.
bool sessionBusHas(const char* name);

class BusInstance final : public SingleInstance {
  public:
    // Null, with the reason, without a session bus.
    static std::unique_ptr<BusInstance> connect(std::string& whyNot);
    ~BusInstance() override;

    const std::string& displayName() const override { return displayName_; }
    Claim claim() override;
    Delivery send(InstanceCommand command, std::chrono::milliseconds timeout) override;
    int fd() const override;
    bool dispatch(const std::function<void(InstanceCommand)>& onCommand) override;
    bool broken() const override;

  private:
    explicit BusInstance(DBusConnection* connection, std::string displayName);
    DBusConnection* connection_;
    std::string displayName_;
    bool held_ = false;
};

}  // namespace tallowmere::kwin
