#include "bench/e2e/report.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace tallowmere::bench {
namespace {

constexpr size_t kCounts[] = {2, 4, 8, 16};

std::string fixed(double value, int decimals) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

std::string pad(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}

}  // namespace

void Report::addReaction(const std::string& who, const std::vector<Step>& steps) {
    auto& r = reactions_[who];
    for (const auto& step : steps) {
        r.seconds[step.count].push_back(step.reactionSeconds);
        r.firstMoveSeconds[step.count].push_back(step.firstMoveSeconds);
        r.missed += step.reached ? 0 : 1;
    }
}

void Report::addGlide(const std::string& who, const Glide& glide, const ProcessStats& before,
                      const ProcessStats& after) {
    glides_[who] = {glide, after.cpuSeconds - before.cpuSeconds,
                    after.cpuRunSeconds - before.cpuRunSeconds,
                    after.voluntarySwitches - before.voluntarySwitches};
}

void Report::setIdle(double seconds, const ProcessStats& start, const ProcessStats& end) {
    idleSeconds_ = seconds;
    idleWakeUps_ = end.voluntarySwitches - start.voluntarySwitches;
    idleCpuSeconds_ = end.cpuRunSeconds - start.cpuRunSeconds;
    rssKiB_ = end.rssKiB;
}

double Report::median(const std::string& who, size_t count, bool firstMove) const {
    const auto r = reactions_.find(who);
    if (r == reactions_.end()) {
        return NAN;
    }
    const auto& samples = firstMove ? r->second.firstMoveSeconds : r->second.seconds;
    const auto s = samples.find(count);
    return s == samples.end() ? NAN : percentile(s->second, 0.5);
}

void Report::printTable(std::ostream& out) const {
    const auto runs = reactions_.contains("ours") && reactions_.at("ours").seconds.contains(16)
                          ? reactions_.at("ours").seconds.at(16).size()
                          : 0;
    out << "Reaction: new window listed -> all N frames at their targets, easing none\n"
        << "(median of " << runs << " runs, ms; 'ours-0.05' drops the fixed notification delay)\n\n"
        << "   N    ours  ours-0.05   floor  (ours-0.05)/floor   poller  poller/ours"
           "   first move: ours-0.05  floor\n";
    for (size_t n : kCounts) {
        const double ours = median("ours", n);
        const double floor = median("floor", n);
        const double poller = median("poller", n);
        out << pad(std::to_string(n), 4) << pad(fixed(ours * 1e3, 1), 8)
            << pad(fixed(oursLessDelay(n) * 1e3, 2), 11) << pad(fixed(floor * 1e3, 2), 8)
            << pad(fixed(oursLessDelay(n) / floor, 2), 19) << pad(fixed(poller * 1e3, 0), 9)
            << pad(fixed(poller / ours, 1), 13)
            << pad(fixed((median("ours", n, true) - delay_) * 1e3, 2), 24)
            << pad(fixed(median("floor", n, true) * 1e3, 2), 7) << '\n';
    }
    for (const auto& [who, r] : reactions_) {
        if (r.missed > 0) {
            out << "  " << who << ": " << r.missed << " steps did not end on the targets\n";
        }
    }
    out << "  slowest start: " << fixed(slowestStart * 1e3, 0)
        << " ms from the first window to tallowmere watching it\n";
    if (missedStarts > 0) {
        out << "  tallowmere missed the first window at start " << missedStarts
            << " times (retried)\n";
    }
    const double ratio16 = oursLessDelay(16) / median("floor", 16);
    const double poller16 = median("poller", 16) / median("ours", 16);
    out << "  goal (ours-0.05)/floor <= 1.5 at N=16: " << fixed(ratio16, 2) << "  "
        << verdict(ratio16 <= 1.5) << '\n'
        << "  goal poller/ours >= 10 at N=16: " << fixed(poller16, 1) << "  "
        << verdict(poller16 >= 10) << '\n';

    out << "\nAnimation: 10 windows, 2 s linear\n\n"
        << "            moving  updates/s min  mean   interval ms p50   p95    max"
           "   CPU ms (stat)  CPU ms (schedstat)  wake-ups\n";
    for (const auto& [who, g] : glides_) {
        out << pad(who, 8) << pad(std::to_string(g.glide.movingWindows), 10)
            << pad(fixed(g.glide.minUpdatesPerSecond, 1), 15)
            << pad(fixed(g.glide.meanUpdatesPerSecond, 1), 6)
            << pad(fixed(g.glide.intervalP50 * 1e3, 1), 18)
            << pad(fixed(g.glide.intervalP95 * 1e3, 1), 6)
            << pad(fixed(g.glide.intervalMax * 1e3, 1), 7) << pad(fixed(g.cpuSeconds * 1e3, 0), 16)
            << pad(fixed(g.cpuRunSeconds * 1e3, 1), 20) << pad(std::to_string(g.wakeUps), 10)
            << '\n';
    }
    if (glides_.contains("ours") && glides_.contains("floor")) {
        const auto& ours = glides_.at("ours");
        const double cpuRatio = ours.cpuRunSeconds / glides_.at("floor").cpuRunSeconds;
        out << "  goal >= 58 updates/s per window: " << fixed(ours.glide.minUpdatesPerSecond, 1)
            << "  " << verdict(ours.glide.minUpdatesPerSecond >= 58) << '\n'
            << "  goal CPU ours/floor <= 1.3: " << fixed(cpuRatio, 2) << "  "
            << verdict(cpuRatio <= 1.3) << '\n';
    }

    out << "\nIdle: " << fixed(idleSeconds_, 0) << " s after the row settled\n"
        << "  wake-ups (voluntary context switches, all threads): " << idleWakeUps_ << "  "
        << verdict(idleWakeUps_ == 0) << " (goal 0)\n"
        << "  CPU: " << fixed(idleCpuSeconds_ * 1e3, 2) << " ms\n"
        << "  RSS: " << fixed(static_cast<double>(rssKiB_) / 1024, 1) << " MiB  "
        << verdict(rssKiB_ <= 32 * 1024) << " (goal <= 32)\n\n";
}

void Report::printJson(std::ostream& out) const {
    out << "{\"reaction\": {\"unit\": \"ms\", \"notificationDelayMs\": " << fixed(delay_ * 1e3, 0)
        << ", \"runs\": {";
    bool firstWho = true;
    for (const auto& [who, r] : reactions_) {
        out << (firstWho ? "" : ", ") << '"' << who << "\": {\"missedSteps\": " << r.missed;
        firstWho = false;
        for (size_t n : kCounts) {
            out << ", \"" << n << "\": [";
            const auto s = r.seconds.find(n);
            for (size_t i = 0; s != r.seconds.end() && i < s->second.size(); ++i) {
                out << (i ? ", " : "") << fixed(s->second[i] * 1e3, 3);
            }
            out << ']';
        }
        out << '}';
    }
    out << "}, \"median\": {";
    for (size_t i = 0; i < std::size(kCounts); ++i) {
        const size_t n = kCounts[i];
        out << (i ? ", " : "") << '"' << n << "\": {\"ours\": " << fixed(median("ours", n) * 1e3, 3)
            << ", \"oursLessDelay\": " << fixed(oursLessDelay(n) * 1e3, 3)
            << ", \"floor\": " << fixed(median("floor", n) * 1e3, 3)
            << ", \"poller\": " << fixed(median("poller", n) * 1e3, 3)
            << ", \"oursLessDelayOverFloor\": " << fixed(oursLessDelay(n) / median("floor", n), 3)
            << ", \"pollerOverOurs\": " << fixed(median("poller", n) / median("ours", n), 2)
            << ", \"pollerOverOursLessDelay\": " << fixed(median("poller", n) / oursLessDelay(n), 2)
            << ", \"firstMoveOursLessDelay\": "
            << fixed((median("ours", n, true) - delay_) * 1e3, 3)
            << ", \"firstMoveFloor\": " << fixed(median("floor", n, true) * 1e3, 3) << '}';
    }
    out << "}}, \"animation\": {";
    firstWho = true;
    for (const auto& [who, g] : glides_) {
        out << (firstWho ? "" : ", ") << '"' << who
            << "\": {\"movingWindows\": " << g.glide.movingWindows
            << ", \"minUpdatesPerSecond\": " << fixed(g.glide.minUpdatesPerSecond, 2)
            << ", \"meanUpdatesPerSecond\": " << fixed(g.glide.meanUpdatesPerSecond, 2)
            << ", \"intervalMs\": {\"p50\": " << fixed(g.glide.intervalP50 * 1e3, 2)
            << ", \"p95\": " << fixed(g.glide.intervalP95 * 1e3, 2)
            << ", \"max\": " << fixed(g.glide.intervalMax * 1e3, 2) << "}"
            << ", \"cpuMsStat\": " << fixed(g.cpuSeconds * 1e3, 0)
            << ", \"cpuMsSchedstat\": " << fixed(g.cpuRunSeconds * 1e3, 2)
            << ", \"wakeUps\": " << g.wakeUps << '}';
        firstWho = false;
    }
    if (glides_.contains("ours") && glides_.contains("floor")) {
        out << ", \"cpuOursOverFloor\": "
            << fixed(glides_.at("ours").cpuRunSeconds / glides_.at("floor").cpuRunSeconds, 3);
    }
    out << "}, \"idle\": {\"seconds\": " << fixed(idleSeconds_, 0)
        << ", \"voluntaryWakeUps\": " << idleWakeUps_
        << ", \"cpuMs\": " << fixed(idleCpuSeconds_ * 1e3, 3) << ", \"rssKiB\": " << rssKiB_
        << "}, \"slowestStartMs\": " << fixed(slowestStart * 1e3, 0)
        << ", \"missedStarts\": " << missedStarts << "}\n";
}

}  // namespace tallowmere::bench
