// A child process of a test: spawned with its own argv and environment, its standard output and
// error kept in memory files that grow as it writes, killed and reaped when dropped.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tallowmere::kit {

// Polls the condition every 10 ms until it holds or the time is up.
bool waitUntil(const std::function<bool()>& condition, double seconds = 10);

class ChildProcess {
  public:
    // The environment is ours with "NAME=value" set and a bare "NAME" removed; `fd3` is handed to
    // the child as its descriptor 3 (Xvfb -displayfd 3).
    explicit ChildProcess(std::vector<std::string> argv,
                          const std::vector<std::string>& environment = {}, int fd3 = -1);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    void signal(int number);
    // The exit code (or 128 + signal) once it ended within the time; none otherwise.
    std::optional<int> waitExit(double seconds);

    std::string errorOutput() const;
    std::string standardOutput() const;
    // The complete lines of standard error that contain `fragment`.
    std::vector<std::string> linesWith(const std::string& fragment) const;
    std::size_t countLines(const std::string& fragment) const { return linesWith(fragment).size(); }
    // The line containing `fragment` after the first `skip` such lines, once it came.
    std::optional<std::string> waitForLine(const std::string& fragment, std::size_t skip = 0,
                                           double seconds = 20);

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    int out_ = -1;
    int err_ = -1;
};

// Runs a program to its end; its exit status, or -1 (signal, failed start).
int run(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});

}  // namespace tallowmere::kit
