// One program per desktop session, and the commands a later start hands to it. The mechanism is
// the backend's (an X selection on X11); the program only claims, sends and serves.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace tallowmere {

enum class InstanceCommand { settings, realign, center, quit };

// The command's word, as its option spells it and as it travels between instances.
constexpr const char* commandName(InstanceCommand command) {
    switch (command) {
        case InstanceCommand::settings:
            return "settings";
        case InstanceCommand::realign:
            return "realign";
        case InstanceCommand::center:
            return "center";
        case InstanceCommand::quit:
            return "quit";
    }
    return "";
}

class SingleInstance {
  public:
    virtual ~SingleInstance() = default;

    // What the user knows the session by (the display name on X11).
    virtual const std::string& displayName() const = 0;

    enum class Claim { acquired, heldByAnother, failed };
    virtual Claim claim() = 0;

    enum class Delivery { done, noInstance, refused, noAnswer };
    // Asks the running program to carry the command out; `done` once it has.
    virtual Delivery send(InstanceCommand command, std::chrono::milliseconds timeout) = 0;

    // While holding the claim: a descriptor to watch, and what to do when it is readable.
    // Returns false once the claim is lost.
    virtual int fd() const = 0;
    virtual bool dispatch(const std::function<void(InstanceCommand)>& onCommand) = 0;
    virtual bool broken() const = 0;
};

}  // namespace tallowmere
