#include "compliance/ExposureRule.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

namespace compliance {

namespace {

// A stretch of time at one concentration; the stretches of a day never overlap once merged.
struct Stretch {
    int64_t start = 0;
    int64_t end = 0;
    double value = 0.0;
};

void AddStretches(const ExposureSession& session, std::vector<Stretch>& out) {
    std::vector<ExposureReading> readings = session.readings;
    std::stable_sort(
        readings.begin(), readings.end(),
        [](const ExposureReading& a, const ExposureReading& b) { return a.time < b.time; });
    for (size_t i = 0; i < readings.size(); ++i) {
        const int64_t t = readings[i].time;
        int64_t end = i + 1 < readings.size() ? readings[i + 1].time : session.switchOff;
        if (session.interval > 0) {
            end = std::min(end, t + session.interval);
        }
        end = std::min(end, session.switchOff);
        const int64_t start = std::max(t, session.switchOn);
        if (end > start) {
            out.push_back({start, end, std::max(0.0, readings[i].value)});
        }
    }
}

// Where stretches overlap (two instruments worn at once) the higher value holds.
std::vector<Stretch> Merged(const std::vector<Stretch>& stretches) {
    std::map<int64_t, std::vector<std::pair<double, bool>>> edges; // time: (value, begins)
    for (const Stretch& s : stretches) {
        edges[s.start].push_back({s.value, true});
        edges[s.end].push_back({s.value, false});
    }
    std::vector<Stretch> merged;
    std::multiset<double> open;
    int64_t last = 0;
    for (const auto& [time, changes] : edges) {
        if (!open.empty() && time > last) {
            const double value = *open.rbegin();
            if (!merged.empty() && merged.back().end == last && merged.back().value == value) {
                merged.back().end = time;
            } else {
                merged.push_back({last, time, value});
            }
        }
        for (const auto& [value, begins] : changes) {
            if (begins) {
                open.insert(value);
            } else {
                open.erase(open.find(value));
            }
        }
        last = time;
    }
    return merged;
}

// The integral of the merged function from the beginning of time to `x`, with the prefix sums of
// the stretches' integrals.
double IntegralTo(const std::vector<Stretch>& stretches, const std::vector<double>& before,
                  int64_t x) {
    const auto after = std::upper_bound(stretches.begin(), stretches.end(), x,
                                        [](int64_t t, const Stretch& s) { return t < s.start; });
    if (after == stretches.begin()) {
        return 0.0;
    }
    const size_t k = static_cast<size_t>(after - stretches.begin()) - 1;
    const Stretch& s = stretches[k];
    return before[k] + s.value * static_cast<double>(std::min(x, s.end) - s.start);
}

// The highest 15-minute average, and when its window ends. The window's integral is linear
// between the moments when either of its edges meets a stretch's edge, so the best window begins
// or ends at one of them.
std::pair<double, int64_t> WorstWindow(const std::vector<Stretch>& stretches) {
    std::vector<double> before(stretches.size() + 1, 0.0);
    for (size_t k = 0; k < stretches.size(); ++k) {
        const Stretch& s = stretches[k];
        before[k + 1] = before[k] + s.value * static_cast<double>(s.end - s.start);
    }
    if (stretches.empty()) {
        return {0.0, 0};
    }
    // A window that begins before the first reading holds no more than the one that begins at
    // it (the function is never negative), so none begins earlier: the worst window reads as
    // the quarter of an hour it was.
    const int64_t first = stretches.front().start;
    std::vector<int64_t> starts;
    for (const Stretch& s : stretches) {
        for (int64_t start : {s.start, s.end, s.start - kStelSeconds, s.end - kStelSeconds}) {
            starts.push_back(std::max(start, first));
        }
    }
    std::sort(starts.begin(), starts.end());
    double best = 0.0;
    int64_t bestEnd = first + kStelSeconds;
    for (int64_t start : starts) {
        const double sum = IntegralTo(stretches, before, start + kStelSeconds) -
                           IntegralTo(stretches, before, start);
        const double average = sum / static_cast<double>(kStelSeconds);
        // The earliest of equal windows: a rounding difference is no later peak.
        if (average > best * (1 + 1e-12) + 1e-12) {
            best = average;
            bestEnd = start + kStelSeconds;
        }
    }
    return {best, bestEnd};
}

} // namespace

int64_t LoggingInterval(std::vector<int64_t> times) {
    std::sort(times.begin(), times.end());
    std::map<int64_t, int> gaps;
    for (size_t i = 1; i < times.size(); ++i) {
        if (times[i] > times[i - 1]) {
            ++gaps[times[i] - times[i - 1]];
        }
    }
    int64_t interval = 0;
    int most = 0;
    for (const auto& [gap, count] : gaps) {
        if (count > most) { // the map is in rising order: a tie keeps the shorter gap
            most = count;
            interval = gap;
        }
    }
    return interval;
}

ExposureFigures Evaluate(const std::vector<ExposureSession>& sessions,
                         const std::vector<double>& alarmLevels, const ExposureLimits& limits) {
    ExposureFigures figures;
    figures.secondsAtOrAbove.assign(alarmLevels.size(), 0);
    std::vector<Stretch> stretches;
    bool first = true;
    for (const ExposureSession& session : sessions) {
        figures.shiftStart =
            first ? session.switchOn : std::min(figures.shiftStart, session.switchOn);
        figures.shiftEnd =
            first ? session.switchOff : std::max(figures.shiftEnd, session.switchOff);
        first = false;
        for (const ExposureReading& reading : session.readings) {
            figures.peak = std::max(figures.peak, reading.value);
            figures.overRange = figures.overRange || reading.overRange;
        }
        AddStretches(session, stretches);
    }
    const std::vector<Stretch> merged = Merged(stretches);
    double dose = 0.0;
    for (const Stretch& s : merged) {
        const int64_t length = s.end - s.start;
        figures.secondsMeasured += length;
        dose += s.value * static_cast<double>(length);
        for (size_t k = 0; k < alarmLevels.size(); ++k) {
            if (s.value >= alarmLevels[k]) {
                figures.secondsAtOrAbove[k] += length;
            }
        }
    }
    figures.twa = dose / static_cast<double>(kTwaSeconds);
    std::tie(figures.stel, figures.stelEnd) = WorstWindow(merged);
    figures.twaOver = limits.twa > 0 && figures.twa > limits.twa;
    figures.stelOver = limits.stel > 0 && figures.stel > limits.stel;
    return figures;
}

} // namespace compliance
