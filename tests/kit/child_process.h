// A child process of a test: spawned with its own argv and environment, its standard error
// collected into lines as they come and its standard output kept, killed and reaped when dropped.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tallowmere::kit {

// Polls the condition every 10 ms until it holds or the time is up.
bool waitUntil(const std::function<bool()>& condition, double seconds = 10);

struct Spawn {
    std::vector<std::string> argv;
    // On top of ours: "NAME=value" sets, a bare "NAME" removes.
    std::vector<std::string> environment = {};
    int fd3 = -1;  // handed to the child as its descriptor 3 (Xvfb -displayfd 3)
};

class ChildProcess {
  public:
    explicit ChildProcess(Spawn spawn);
    ChildProcess(const std::vector<std::string>& argv,
                 const std::vector<std::string>& environment = {})
        : ChildProcess(Spawn{argv, environment}) {}
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    void signal(int number);
    // The exit code (or 128 + signal) once it ended within the time, with its output read to the
    // end; none otherwise.
    std::optional<int> waitExit(double seconds);

    std::string errorOutput() const;
    std::string standardOutput() const;
    std::vector<std::string> linesWith(const std::string& fragment) const;
    std::size_t countLines(const std::string& fragment) const { return linesWith(fragment).size(); }
    // The line containing `fragment` after the first `skip` such lines, once it came.
    std::optional<std::string> waitForLine(const std::string& fragment, std::size_t skip = 0,
                                           double seconds = 20);

  private:
    void collect(int errFd, int outFd);
    // The complete lines of standard error that contain `fragment`; the mutex held.
    std::vector<std::string> matching(const std::string& fragment) const;
    pid_t pid_ = -1;
    std::optional<int> status_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string err_;
    std::string out_;
    bool eof_ = false;
    int stop_[2] = {-1, -1};
    std::thread reader_;
};

// Runs a program to its end; its exit status, or -1 (signal, failed start).
int run(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {});

}  // namespace tallowmere::kit
