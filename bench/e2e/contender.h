// A program the benchmark measures: started with its output on pipes, stopped by its pid, and read
// through /proc for CPU time, wake-ups and memory.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "bench/e2e/frame_watch.h"

namespace tallowmere::bench {

struct ProcessStats {
    double cpuSeconds = 0;       // utime + stime of /proc/<pid>/stat, all threads
    double cpuRunSeconds = 0;    // sum of /proc/<pid>/task/*/schedstat: nanosecond resolution
    long voluntarySwitches = 0;  // all threads
    long rssKiB = 0;
};

class Contender {
  public:
    // Starts argv[0] with extra "NAME=value" entries in its environment.
    Contender(FrameWatch& watch, std::vector<std::string> argv, std::vector<std::string> env);
    ~Contender();
    Contender(const Contender&) = delete;
    Contender& operator=(const Contender&) = delete;

    bool running() const;
    pid_t pid() const { return pid_; }
    // Waits until a line of standard output or error contains `part`.
    bool waitForLine(const std::string& part, double timeout);
    void stop();
    std::optional<ProcessStats> stats() const;
    const LineReader& output() const { return output_; }

  private:
    FrameWatch& watch_;
    pid_t pid_ = -1;
    int pidfd_ = -1;
    LineReader output_{-1};
};

}  // namespace tallowmere::bench
