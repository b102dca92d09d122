// What an application is on X11: the processes whose managed windows share one WM_CLASS class.
// X programs often run a process per window, and a user watching "XTerm" means all of them.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/linux/x11/window_mirror.h"

namespace tallowmere::x11 {

struct AppGroup {
    Pid id = 0;  // stands in the core's pid slot: stable for the group's life, unique in the run
    std::string wmClass;
    std::map<Pid, std::shared_ptr<void>> members;  // member process → its exit watch
    int windowsOfUnknownProcess = 0;
};

class ApplicationGroups {
  public:
    // Watches a descriptor until the returned token is dropped; calls back when it is readable.
    using WatchFd = std::function<std::shared_ptr<void>(int fd, std::function<void()> onReadable)>;
    struct Listener {
        virtual ~Listener() = default;
        virtual void groupLaunched(const AppGroup& group) = 0;
        virtual void groupTerminated(Pid id, const std::string& wmClass) = 0;
    };

    ApplicationGroups(WatchFd watch, Listener& listener)
        : watch_(std::move(watch)), listener_(listener) {}

    // Windows found at start make groups without a launch notice.
    void windowListed(const MirroredWindow& window, bool announce);
    void windowUnlisted(const MirroredWindow& window);

    const AppGroup* byId(Pid id) const;
    const AppGroup* byClass(const std::string& wmClass) const;
    std::vector<const AppGroup*> inLaunchOrder() const;

  private:
    void addMember(AppGroup& group, Pid pid);
    void processExited(Pid pid);
    void endIfEmpty(const std::string& wmClass);

    WatchFd watch_;
    Listener& listener_;
    std::map<std::string, AppGroup> groups_;
    Pid nextId_ = 1;
};

}  // namespace tallowmere::x11
