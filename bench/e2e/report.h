// The benchmark's figures: collected per contender, then printed as a table and as JSON.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "bench/e2e/contender.h"
#include "bench/e2e/scenarios.h"

namespace tallowmere::bench {

class Report {
  public:
    explicit Report(double notificationDelay) : delay_(notificationDelay) {}

    void addReaction(const std::string& who, const std::vector<Step>& steps);
    void addGlide(const std::string& who, const Glide& glide, const ProcessStats& before,
                  const ProcessStats& after);
    void setIdle(double seconds, const ProcessStats& start, const ProcessStats& end);

    void printTable(std::ostream& out) const;
    void printJson(std::ostream& out) const;

    Targets targets;          // the reaction run's places, from our program's first run
    double slowestStart = 0;  // first window listed → our program announces watching it
    int missedStarts = 0;     // starts of our program that never announced watching the class

  private:
    struct Reactions {
        std::map<size_t, std::vector<double>> seconds;
        std::map<size_t, std::vector<double>> firstMoveSeconds;
        int missed = 0;
    };
    struct GlideFigures {
        Glide glide;
        double cpuSeconds = 0;
        double cpuRunSeconds = 0;
        long wakeUps = 0;
    };

    double median(const std::string& who, size_t count, bool firstMove = false) const;
    double oursLessDelay(size_t count) const { return median("ours", count) - delay_; }

    double delay_;
    std::map<std::string, Reactions> reactions_;
    std::map<std::string, GlideFigures> glides_;
    double idleSeconds_ = 0;
    long idleWakeUps_ = 0;
    double idleCpuSeconds_ = 0;
    long rssKiB_ = 0;
};

}  // namespace tallowmere::bench
