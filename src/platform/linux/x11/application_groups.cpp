// Class groups and the exit of their member processes (pidfd: no polling).
#include "platform/linux/x11/application_groups.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tallowmere::x11 {
namespace {

// -1 when the process is gone already or pidfds are unavailable (errno tells which).
int openPidfd(Pid pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    errno = ENOSYS;
    return -1;
#endif
}

}  // namespace

void ApplicationGroups::windowListed(const MirroredWindow& window, bool announce) {
    if (window.ownProcess) {
        return;
    }
    auto [it, created] = groups_.try_emplace(window.wmClass);
    AppGroup& group = it->second;
    if (created) {
        group.id = nextId_++;
        group.wmClass = window.wmClass;
    }
    if (window.pid) {
        addMember(group, *window.pid);
    } else {
        ++group.windowsOfUnknownProcess;
    }
    if (created && announce) {
        listener_.groupLaunched(group);
    }
    // The process may have exited between its window's listing and now.
    endIfEmpty(window.wmClass);
}

void ApplicationGroups::windowUnlisted(const MirroredWindow& window) {
    if (window.ownProcess || window.pid) {
        return;
    }
    auto it = groups_.find(window.wmClass);
    if (it == groups_.end()) {
        return;
    }
    --it->second.windowsOfUnknownProcess;
    endIfEmpty(window.wmClass);
}

void ApplicationGroups::addMember(AppGroup& group, Pid pid) {
    if (group.members.count(pid)) {
        return;
    }
    // One watch per process, shared by every group it belongs to.
    for (auto& [wmClass, other] : groups_) {
        if (auto found = other.members.find(pid); found != other.members.end()) {
            group.members[pid] = found->second;
            return;
        }
    }
    int fd = openPidfd(pid);
    if (fd < 0) {
        if (errno == ESRCH) {
            return;  // exited already: not a member
        }
        // No pidfd here: the process is kept as a member for as long as the run lasts.
        group.members[pid] = nullptr;
        return;
    }
    struct ExitWatch {
        int fd = -1;
        std::shared_ptr<void> token;
        ~ExitWatch() {
            token.reset();  // stop watching before the descriptor goes
            close(fd);
        }
    };
    auto exitWatch = std::make_shared<ExitWatch>();
    exitWatch->fd = fd;
    exitWatch->token = watch_(fd, [this, pid] { processExited(pid); });
    group.members[pid] = exitWatch;
}

void ApplicationGroups::processExited(Pid pid) {
    std::vector<std::string> touched;
    for (auto& [wmClass, group] : groups_) {
        if (group.members.count(pid)) {
            touched.push_back(wmClass);
        }
    }
    // Erasing drops the watch that is calling us; defer nothing else past this point.
    std::vector<std::shared_ptr<void>> keepAlive;
    for (const std::string& wmClass : touched) {
        auto& members = groups_[wmClass].members;
        keepAlive.push_back(members[pid]);
        members.erase(pid);
    }
    for (const std::string& wmClass : touched) {
        endIfEmpty(wmClass);
    }
}

void ApplicationGroups::endIfEmpty(const std::string& wmClass) {
    auto it = groups_.find(wmClass);
    if (it == groups_.end() || !it->second.members.empty() ||
        it->second.windowsOfUnknownProcess > 0) {
        return;
    }
    const Pid id = it->second.id;
    groups_.erase(it);
    listener_.groupTerminated(id, wmClass);
}

const AppGroup* ApplicationGroups::byId(Pid id) const {
    for (const auto& [wmClass, group] : groups_) {
        if (group.id == id) {
            return &group;
        }
    }
    return nullptr;
}

const AppGroup* ApplicationGroups::byClass(const std::string& wmClass) const {
    auto it = groups_.find(wmClass);
    return it == groups_.end() ? nullptr : &it->second;
}

std::vector<const AppGroup*> ApplicationGroups::inLaunchOrder() const {
    std::vector<const AppGroup*> result;
    for (const auto& [wmClass, group] : groups_) {
        result.push_back(&group);
    }
    std::sort(result.begin(), result.end(),
              [](const AppGroup* a, const AppGroup* b) { return a->id < b->id; });
    return result;
}

}  // namespace tallowmere::x11
