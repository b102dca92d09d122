#include "bench/e2e/contender.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "bench/e2e/xcb_helpers.h"

extern char** environ;

namespace tallowmere::bench {
namespace {

std::vector<std::string> taskIds(pid_t pid) {
    std::vector<std::string> tasks;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* entry = readdir(d)) {
            if (entry->d_name[0] != '.') {
                tasks.emplace_back(entry->d_name);
            }
        }
        closedir(d);
    }
    return tasks;
}

long statusField(const std::string& path, const std::string& key) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::stol(line.substr(key.size() + 1));
        }
    }
    return -1;
}

}  // namespace

Contender::Contender(FrameWatch& watch, std::vector<std::string> argv, std::vector<std::string> env)
    : watch_(watch) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    std::vector<char*> args;
    std::vector<char*> envp;
    for (auto& a : argv) {
        args.push_back(a.data());
    }
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    args.push_back(nullptr);
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    output_ = LineReader(out[0]);
    pidfd_ = pid_ > 0 ? static_cast<int>(syscall(SYS_pidfd_open, pid_, 0)) : -1;
    watch_.addReader(&output_);
}

Contender::~Contender() {
    stop();
    watch_.removeReader(&output_);
    close(output_.fd());
}

bool Contender::running() const {
    pollfd exited{pidfd_, POLLIN, 0};
    return pid_ > 0 && pidfd_ >= 0 && poll(&exited, 1, 0) == 0;
}

bool Contender::waitForLine(const std::string& part, double timeout) {
    const double deadline = nowSeconds() + timeout;
    while (!output_.saw(part)) {
        if (nowSeconds() >= deadline || !running()) {
            watch_.pump(0);
            return output_.saw(part);
        }
        watch_.pump(std::min(0.1, deadline - nowSeconds()));
    }
    return true;
}

void Contender::stop() {
    if (pid_ <= 0) {
        return;
    }
    kill(pid_, SIGTERM);
    pollfd exited{pidfd_, POLLIN, 0};
    if (poll(&exited, 1, 5000) == 0) {
        kill(pid_, SIGKILL);
    }
    waitpid(pid_, nullptr, 0);
    close(pidfd_);
    output_.drain();
    pid_ = -1;
    pidfd_ = -1;
}

std::optional<ProcessStats> Contender::stats() const {
    if (pid_ <= 0) {
        return std::nullopt;
    }
    const std::string base = "/proc/" + std::to_string(pid_);
    ProcessStats s;
    std::ifstream statFile(base + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), {});
    const auto close = stat.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    // After the command's closing parenthesis: state is field 3, utime 14 and stime 15.
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stol(field);
        } else if (i == 15) {
            stime = std::stol(field);
        }
    }
    s.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    for (const auto& task : taskIds(pid_)) {
        std::ifstream schedstat(base + "/task/" + task + "/schedstat");
        unsigned long long runNs = 0;
        if (schedstat >> runNs) {
            s.cpuRunSeconds += static_cast<double>(runNs) * 1e-9;
        }
        s.voluntarySwitches += std::max(
            0L, statusField(base + "/task/" + task + "/status", "voluntary_ctxt_switches"));
    }
    s.rssKiB = statusField(base + "/status", "VmRSS");
    return s;
}

}  // namespace tallowmere::bench
