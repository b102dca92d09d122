// The benchmark's figures: collected per contender and run, then printed as a table and as JSON,
// each figure as the median of the runs with its spread.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "bench/e2e/contender.h"
#include "bench/e2e/scenarios.h"

namespace tallowmere::bench {

// The reaction sequence's window counts that the report shows.
inline constexpr size_t kReactionCounts[] = {2, 4, 8, 16, 32, 64};

class Report {
  public:
    Report(double notificationDelay, std::string loadAverage)
        : delay_(notificationDelay), loadAverage_(std::move(loadAverage)) {}

    void addReaction(const std::string& who, const std::vector<Step>& steps);
    void addGlide(const std::string& who, const Glide& glide, const ProcessStats& before,
                  const ProcessStats& after);
    void addIdle(double seconds, const ProcessStats& start, const ProcessStats& end);

    void printTable(std::ostream& out) const;
    void printJson(std::ostream& out) const;

    Targets targets;          // the reaction run's places, from our program's first run
    double slowestStart = 0;  // first window listed → our program announces watching it
    int missedStarts = 0;     // starts of our program that never announced watching the class

  private:
    struct Reactions {
        std::map<size_t, std::vector<double>> seconds;  // one per run
        std::map<size_t, std::vector<double>> firstMoveSeconds;
        int missed = 0;
    };
    struct GlideFigures {
        std::vector<double> minUpdatesPerSecond;
        std::vector<double> meanUpdatesPerSecond;
        std::vector<double> intervalP50;
        std::vector<double> intervalP95;
        std::vector<double> intervalMax;
        std::vector<double> cpuSeconds;  // schedstat: nanosecond resolution
        std::vector<double> wakeUps;
        size_t movingWindows = 0;
    };

    std::vector<double> samples(const std::string& who, size_t count, bool firstMove) const;

    double delay_;
    std::string loadAverage_;
    std::map<std::string, Reactions> reactions_;
    std::map<std::string, GlideFigures> glides_;
    double idleSeconds_ = 0;
    std::vector<double> idleWakeUps_;
    std::vector<double> idleCpuSeconds_;
    std::vector<double> rssKiB_;
};

}  // namespace tallowmere::bench
