#include "bench/e2e/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

namespace tallowmere::bench {
namespace {

std::string fixed(double value, int decimals) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

std::string pad(const std::string& text, size_t width) {
    // Width in characters: the en dash of a spread is three bytes but one column.
    size_t columns = 0;
    for (unsigned char c : text) {
        columns += (c & 0xC0) != 0x80 ? 1 : 0;
    }
    return columns >= width ? text : std::string(width - columns, ' ') + text;
}

const char* verdict(bool met) {
    return met ? "met" : "MISSED";
}

// Steps that never reached their targets have no time: they are counted apart, not ranked.
std::vector<double> scaled(const std::vector<double>& values, double scale, double offset = 0) {
    std::vector<double> out;
    for (double v : values) {
        if (std::isfinite(v)) {
            out.push_back((v - offset) * scale);
        }
    }
    return out;
}

double median(const std::vector<double>& values) {
    return percentile(values, 0.5);
}

// "median (min–max)", or the single value of a single run.
std::string spread(const std::vector<double>& values, int decimals) {
    if (values.empty()) {
        return "-";
    }
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    if (values.size() == 1) {
        return fixed(values.front(), decimals);
    }
    return fixed(median(values), decimals) + " (" + fixed(*lo, decimals) + "–" +
           fixed(*hi, decimals) + ")";
}

void jsonFigure(std::ostream& out, const char* name, const std::vector<double>& values,
                int decimals) {
    out << '"' << name << "\": {\"median\": " << fixed(median(values), decimals);
    if (!values.empty()) {
        const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
        out << ", \"min\": " << fixed(*lo, decimals) << ", \"max\": " << fixed(*hi, decimals);
    }
    out << ", \"runs\": [";
    for (size_t i = 0; i < values.size(); ++i) {
        out << (i ? ", " : "") << fixed(values[i], decimals);
    }
    out << "]}";
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
    auto& g = glides_[who];
    g.minUpdatesPerSecond.push_back(glide.minUpdatesPerSecond);
    g.meanUpdatesPerSecond.push_back(glide.meanUpdatesPerSecond);
    g.intervalP50.push_back(glide.intervalP50 * 1e3);
    g.intervalP95.push_back(glide.intervalP95 * 1e3);
    g.intervalMax.push_back(glide.intervalMax * 1e3);
    g.cpuSeconds.push_back((after.cpuRunSeconds - before.cpuRunSeconds) * 1e3);
    g.wakeUps.push_back(static_cast<double>(after.voluntarySwitches - before.voluntarySwitches));
    g.movingWindows = std::max(g.movingWindows, glide.movingWindows);
}

void Report::addIdle(double seconds, const ProcessStats& start, const ProcessStats& end) {
    idleSeconds_ = seconds;
    idleWakeUps_.push_back(static_cast<double>(end.voluntarySwitches - start.voluntarySwitches));
    idleCpuSeconds_.push_back((end.cpuRunSeconds - start.cpuRunSeconds) * 1e3);
    rssKiB_.push_back(static_cast<double>(end.rssKiB) / 1024);
}

std::vector<double> Report::samples(const std::string& who, size_t count, bool firstMove) const {
    const auto r = reactions_.find(who);
    if (r == reactions_.end()) {
        return {};
    }
    const auto& all = firstMove ? r->second.firstMoveSeconds : r->second.seconds;
    const auto s = all.find(count);
    return s == all.end() ? std::vector<double>{} : s->second;
}

void Report::printTable(std::ostream& out) const {
    const size_t runs = samples("ours", 16, false).size();
    const std::string delayMs = fixed(delay_ * 1e3, 0);
    out << "Load average at the start (1, 5, 15 min): " << loadAverage_ << "\n\n"
        << "Reaction: new window listed -> all N frames at their targets, easing none\n"
        << "(ms, median (min–max) of " << runs << " runs; 'ours-" << delayMs
        << "' drops the fixed notification delay; ratios of the medians)\n\n"
        << "   N        ours-" << delayMs << "               floor  (ours-" << delayMs
        << ")/floor  goal <= 1.2           poller  poller/(ours-" << delayMs
        << ")   first move ours-" << delayMs << "  floor\n";
    for (size_t n : kReactionCounts) {
        const auto ours = scaled(samples("ours", n, false), 1e3, delay_);
        const auto floor = scaled(samples("floor", n, false), 1e3);
        const auto poller = scaled(samples("poller", n, false), 1e3);
        const double ratio = median(ours) / median(floor);
        out << pad(std::to_string(n), 4) << pad(spread(ours, 2), 23) << pad(spread(floor, 2), 20)
            << pad(fixed(ratio, 2), 18)
            << pad(std::isfinite(ratio) ? verdict(ratio <= 1.2) : "", 13)
            << pad(poller.empty() ? "-" : spread(poller, 0), 17)
            << pad(poller.empty() ? "-" : fixed(median(poller) / median(ours), 0), 20)
            << pad(fixed(median(scaled(samples("ours", n, true), 1e3, delay_)), 2), 24)
            << pad(fixed(median(scaled(samples("floor", n, true), 1e3)), 2), 7) << '\n';
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

    const size_t glideRuns = glides_.contains("ours") ? glides_.at("ours").cpuSeconds.size() : 0;
    out << "\nAnimation: 10 windows, 2 s linear (median (min–max) of " << glideRuns << " runs)\n\n"
        << "           moving  updates/s per window: min         mean"
           "   interval ms: p50    p95          max    CPU ms (schedstat)       wake-ups\n";
    for (const auto& [who, g] : glides_) {
        out << pad(who, 8) << pad(std::to_string(g.movingWindows), 9)
            << pad(spread(g.minUpdatesPerSecond, 1), 34)
            << pad(fixed(median(g.meanUpdatesPerSecond), 1), 8)
            << pad(fixed(median(g.intervalP50), 1), 16) << pad(fixed(median(g.intervalP95), 1), 7)
            << pad(spread(g.intervalMax, 1), 21) << pad(spread(g.cpuSeconds, 1), 22)
            << pad(spread(g.wakeUps, 0), 15) << '\n';
    }
    if (glides_.contains("ours") && glides_.contains("floor")) {
        const auto& ours = glides_.at("ours");
        const auto& floor = glides_.at("floor");
        const double updates = median(ours.minUpdatesPerSecond);
        const double cpuRatio = median(ours.cpuSeconds) / median(floor.cpuSeconds);
        const double wakeRatio = median(ours.wakeUps) / median(floor.wakeUps);
        out << "  goal >= 58 updates/s per window: " << fixed(updates, 1) << "  "
            << verdict(updates >= 58) << '\n'
            << "  goal CPU ours/floor <= 1.3: " << fixed(cpuRatio, 2) << "  "
            << verdict(cpuRatio <= 1.3) << '\n'
            << "  goal wake-ups ours/floor <= 1.1: " << fixed(wakeRatio, 2) << "  "
            << verdict(wakeRatio <= 1.1) << '\n';
    }
    if (glides_.contains("ours") && glides_.contains("floor+c")) {
        // The plain floor reads no confirmation at all; floor+c keeps one move in flight per
        // window, the rule ours keeps, so it is the like-for-like yardstick.
        const auto& ours = glides_.at("ours");
        const auto& floor = glides_.at("floor+c");
        out << "  against floor+c (one move in flight per window, as ours): CPU ours/floor+c "
            << fixed(median(ours.cpuSeconds) / median(floor.cpuSeconds), 2)
            << ", wake-ups ours/floor+c " << fixed(median(ours.wakeUps) / median(floor.wakeUps), 2)
            << '\n';
    }

    const double idleWakeUps = median(idleWakeUps_);
    out << "\nIdle: " << idleWakeUps_.size() << " × " << fixed(idleSeconds_, 0)
        << " s after the row settled\n"
        << "  wake-ups (voluntary context switches, all threads): " << spread(idleWakeUps_, 0)
        << "  " << verdict(idleWakeUps == 0) << " (goal 0)\n"
        << "  CPU ms (schedstat): " << spread(idleCpuSeconds_, 2) << '\n'
        << "  RSS MiB: " << spread(rssKiB_, 1) << "  " << verdict(median(rssKiB_) <= 32)
        << " (goal <= 32)\n\n";
}

void Report::printJson(std::ostream& out) const {
    out << "{\"loadAverage\": \"" << loadAverage_ << "\", \"reaction\": {\"unit\": \"ms\", "
        << "\"notificationDelayMs\": " << fixed(delay_ * 1e3, 0) << ", \"missedSteps\": {";
    bool first = true;
    for (const auto& [who, r] : reactions_) {
        out << (first ? "" : ", ") << '"' << who << "\": " << r.missed;
        first = false;
    }
    out << '}';
    for (size_t n : kReactionCounts) {
        const auto ours = scaled(samples("ours", n, false), 1e3, delay_);
        const auto floor = scaled(samples("floor", n, false), 1e3);
        const auto poller = scaled(samples("poller", n, false), 1e3);
        out << ", \"" << n << "\": {";
        jsonFigure(out, "oursLessDelay", ours, 3);
        out << ", ";
        jsonFigure(out, "floor", floor, 3);
        out << ", ";
        jsonFigure(out, "poller", poller, 3);
        out << ", ";
        jsonFigure(out, "firstMoveOursLessDelay", scaled(samples("ours", n, true), 1e3, delay_), 3);
        out << ", ";
        jsonFigure(out, "firstMoveFloor", scaled(samples("floor", n, true), 1e3), 3);
        out << ", \"oursLessDelayOverFloor\": " << fixed(median(ours) / median(floor), 3)
            << ", \"pollerOverOursLessDelay\": " << fixed(median(poller) / median(ours), 2) << '}';
    }
    out << "}, \"animation\": {";
    first = true;
    for (const auto& [who, g] : glides_) {
        out << (first ? "" : ", ") << '"' << who << "\": {\"movingWindows\": " << g.movingWindows
            << ", ";
        jsonFigure(out, "minUpdatesPerSecond", g.minUpdatesPerSecond, 2);
        out << ", ";
        jsonFigure(out, "meanUpdatesPerSecond", g.meanUpdatesPerSecond, 2);
        out << ", ";
        jsonFigure(out, "intervalMsP50", g.intervalP50, 2);
        out << ", ";
        jsonFigure(out, "intervalMsP95", g.intervalP95, 2);
        out << ", ";
        jsonFigure(out, "intervalMsMax", g.intervalMax, 2);
        out << ", ";
        jsonFigure(out, "cpuMsSchedstat", g.cpuSeconds, 2);
        out << ", ";
        jsonFigure(out, "wakeUps", g.wakeUps, 0);
        out << '}';
        first = false;
    }
    for (const auto& [who, name] : {std::pair{"floor", "Floor"}, {"floor+c", "ConfirmingFloor"}}) {
        if (glides_.contains("ours") && glides_.contains(who)) {
            const auto& ours = glides_.at("ours");
            const auto& floor = glides_.at(who);
            out << ", \"cpuOursOver" << name
                << "\": " << fixed(median(ours.cpuSeconds) / median(floor.cpuSeconds), 3)
                << ", \"wakeUpsOursOver" << name
                << "\": " << fixed(median(ours.wakeUps) / median(floor.wakeUps), 3);
        }
    }
    out << "}, \"idle\": {\"seconds\": " << fixed(idleSeconds_, 0) << ", ";
    jsonFigure(out, "voluntaryWakeUps", idleWakeUps_, 0);
    out << ", ";
    jsonFigure(out, "cpuMsSchedstat", idleCpuSeconds_, 3);
    out << ", ";
    jsonFigure(out, "rssMiB", rssKiB_, 1);
    out << "}, \"slowestStartMs\": " << fixed(slowestStart * 1e3, 0)
        << ", \"missedStarts\": " << missedStarts << "}\n";
}

}  // namespace tallowmere::bench
