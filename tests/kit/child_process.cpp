#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
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

// Everything written to the file so far; the writer's offset stays where it is.
std::string contents(int fd) {
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = pread(fd, buffer, sizeof buffer, off_t(text.size()))) > 0;) {
        text.append(buffer, std::size_t(n));
    }
    return text;
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

ChildProcess::ChildProcess(std::vector<std::string> argv,
                           const std::vector<std::string>& environment, int fd3)
    : out_(memfd_create("stdout", MFD_CLOEXEC)), err_(memfd_create("stderr", MFD_CLOEXEC)) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_, STDERR_FILENO);
    if (fd3 >= 0) {
        posix_spawn_file_actions_adddup2(&actions, fd3, 3);
    }
    auto env = mergedEnvironment(environment);
    auto argp = pointers(argv);
    auto envp = pointers(env);
    if (posix_spawnp(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(out_);
    close(err_);
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
    waitUntil([&] { return !running(); }, seconds);
    return status_;
}

std::string ChildProcess::errorOutput() const {
    return contents(err_);
}

std::string ChildProcess::standardOutput() const {
    return contents(out_);
}

std::vector<std::string> ChildProcess::linesWith(const std::string& fragment) const {
    const std::string err = errorOutput();
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = err.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string_view line = std::string_view(err).substr(start, end - start);
        if (line.find(fragment) != line.npos) {
            lines.emplace_back(line);
        }
    }
    return lines;
}

std::optional<std::string> ChildProcess::waitForLine(const std::string& fragment, std::size_t skip,
                                                     double seconds) {
    std::optional<std::string> found;
    waitUntil(
        [&] {
            const bool ended = !running();  // then what it wrote last is read below
            const auto lines = linesWith(fragment);
            if (lines.size() > skip) {
                found = lines[skip];
            }
            return found || ended;
        },
        seconds);
    return found;
}

int run(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    ChildProcess child(argv, environment);
    const std::optional<int> status = child.waitExit(1e9);
    return status && *status < 128 ? *status : -1;
}

}  // namespace tallowmere::kit
