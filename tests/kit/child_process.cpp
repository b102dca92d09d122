#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <string_view>

extern char** environ;

namespace tallowmere::kit {
namespace {

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

// Ours, less the names the changes set or remove, then what they set.
std::vector<std::string> mergedEnvironment(const std::vector<std::string>& changes) {
    std::vector<std::string> result;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (std::none_of(changes.begin(), changes.end(), [&](const std::string& change) {
                return change == name || change.rfind(name + "=", 0) == 0;
            })) {
            result.push_back(entry);
        }
    }
    std::copy_if(changes.begin(), changes.end(), std::back_inserter(result),
                 [](const std::string& change) { return change.find('=') != std::string::npos; });
    return result;
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        pollfd none{-1, 0, 0};
        poll(&none, 0, 10);
    }
    return true;
}

ChildProcess::ChildProcess(Spawn spawn) {
    int err[2];
    int out[2];
    if (pipe2(err, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(stop_, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    if (spawn.fd3 >= 0) {
        posix_spawn_file_actions_adddup2(&actions, spawn.fd3, 3);
    }
    auto env = mergedEnvironment(spawn.environment);
    auto argp = pointers(spawn.argv);
    auto envp = pointers(env);
    if (posix_spawnp(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(err[1]);
    close(out[1]);
    reader_ = std::thread([this, errFd = err[0], outFd = out[0]] { collect(errFd, outFd); });
}

void ChildProcess::collect(int errFd, int outFd) {
    // A descendant may hold the pipes open long after the child ended: a stop ends reading.
    pollfd fds[3] = {{errFd, POLLIN, 0}, {outFd, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    int open = 2;
    char buffer[4096];
    while (open > 0 && poll(fds, 3, -1) > 0 && fds[2].revents == 0) {
        for (pollfd& p : fds) {
            if (p.fd < 0 || p.revents == 0) {
                continue;
            }
            const ssize_t n = read(p.fd, buffer, sizeof buffer);
            std::lock_guard lock(mutex_);
            if (n <= 0) {
                close(p.fd);
                p.fd = -1;
                --open;
            } else {
                (p.fd == outFd ? out_ : err_).append(buffer, std::size_t(n));
            }
            changed_.notify_all();
        }
    }
    for (int i : {0, 1}) {
        if (fds[i].fd >= 0) {
            close(fds[i].fd);
        }
    }
    std::lock_guard lock(mutex_);
    eof_ = true;
    changed_.notify_all();
}

ChildProcess::~ChildProcess() {
    if (running()) {
        kill(pid_, SIGKILL);
        waitUntil([&] { return !running(); });
    }
    if (reader_.joinable()) {
        if (write(stop_[1], "", 1) != 1) {
            // Without a stop the reader still ends with the pipes.
        }
        reader_.join();
    }
    for (int fd : stop_) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool ChildProcess::running() {
    if (status_ || pid_ <= 0) {
        return false;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

void ChildProcess::signal(int number) {
    if (running()) {
        kill(pid_, number);
    }
}

std::optional<int> ChildProcess::waitExit(double seconds) {
    if (waitUntil([&] { return !running(); }, seconds)) {
        // What it wrote last is read too, unless a descendant still holds the pipes open.
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(2), [&] { return eof_; });
    }
    return status_;
}

std::string ChildProcess::errorOutput() const {
    std::lock_guard lock(mutex_);
    return err_;
}

std::string ChildProcess::standardOutput() const {
    std::lock_guard lock(mutex_);
    return out_;
}

std::vector<std::string> ChildProcess::matching(const std::string& fragment) const {
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = err_.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string_view line = std::string_view(err_).substr(start, end - start);
        if (line.find(fragment) != line.npos) {
            lines.emplace_back(line);
        }
    }
    return lines;
}

std::vector<std::string> ChildProcess::linesWith(const std::string& fragment) const {
    std::lock_guard lock(mutex_);
    return matching(fragment);
}

std::optional<std::string> ChildProcess::waitForLine(const std::string& fragment, std::size_t skip,
                                                     double seconds) {
    std::unique_lock lock(mutex_);
    std::optional<std::string> found;
    changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] {
        const auto lines = matching(fragment);
        if (lines.size() > skip) {
            found = lines[skip];
        }
        return found || eof_;
    });
    return found;
}

int run(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    ChildProcess child(argv, environment);
    const std::optional<int> status = child.waitExit(1e9);
    return status && *status < 128 ? *status : -1;
}

}  // namespace tallowmere::kit
