#include "charts/SessionChart.h"

#include "report/FigureText.h"

#include <algorithm>
#include <cmath>

namespace charts {

size_t GasSeries::PointCount() const {
    size_t count = 0;
    for (const auto& run : runs) {
        count += run.size();
    }
    return count;
}

int BarholeProfile::PeakStep() const {
    if (values.empty()) {
        return -1;
    }
    return static_cast<int>(std::max_element(values.begin(), values.end()) - values.begin());
}

BarholeProfile::PeakPlace BarholeProfile::PeakPoint() const {
    return PeakPlace{static_cast<double>(std::max(PeakStep(), 0) + 1), peak};
}

std::vector<std::string> SessionChart::Units() const {
    static const ReadingUnit kOrder[] = {ReadingUnit::PercentLel, ReadingUnit::PercentGas,
                                         ReadingUnit::Percent, ReadingUnit::Ppm,
                                         ReadingUnit::MilligramsPerCubicMetre};
    std::vector<std::string> units;
    for (const ReadingUnit order : kOrder) {
        const char* unit = UnitText(order);
        if (Find("", unit) != nullptr) {
            units.push_back(unit);
        }
    }
    for (const GasSeries& series : gases) {
        if (std::find(units.begin(), units.end(), series.unit) == units.end()) {
            units.push_back(series.unit);
        }
    }
    return units;
}

const GasSeries* SessionChart::Find(const std::string& gas, const std::string& unit) const {
    for (const GasSeries& series : gases) {
        if ((gas.empty() || series.gas == gas) && series.unit == unit) {
            return &series;
        }
    }
    return nullptr;
}

namespace {

bool Reaches(const std::vector<SeriesPoint>& run, double time, double reach) {
    return !run.empty() && time >= static_cast<double>(run.front().time) - reach &&
           time <= static_cast<double>(run.back().time) + reach;
}

} // namespace

Sample SessionChart::SampleNear(double time, double reach) const {
    Sample sample;
    double nearest = 0;
    for (const GasSeries& series : gases) {
        for (const auto& run : series.runs) {
            if (!Reaches(run, time, reach)) {
                continue;
            }
            // Runs are in time order: the nearest point is at the first one not before `time`
            // or just before it.
            auto next = std::lower_bound(run.begin(), run.end(), time,
                                         [](const SeriesPoint& point, double t) {
                                             return static_cast<double>(point.time) < t;
                                         });
            for (auto at : {next, next - (next != run.begin() ? 1 : 0)}) {
                if (at == run.end()) {
                    continue;
                }
                const double distance = std::abs(static_cast<double>(at->time) - time);
                if (!sample.found || distance < nearest ||
                    (distance == nearest && at->time < sample.time)) {
                    sample.found = true;
                    sample.time = at->time;
                    nearest = distance;
                }
            }
        }
    }
    if (!sample.found) {
        return sample;
    }
    for (size_t gas = 0; gas < gases.size(); ++gas) {
        for (const auto& run : gases[gas].runs) {
            if (!Reaches(run, time, reach)) {
                continue;
            }
            // Of two records in one second, the later one.
            const auto after = std::upper_bound(
                run.begin(), run.end(), sample.time,
                [](int64_t t, const SeriesPoint& point) { return t < point.time; });
            if (after != run.begin() && (after - 1)->time == sample.time) {
                sample.readings.push_back({gas, (after - 1)->value, (after - 1)->scale});
                break;
            }
        }
    }
    return sample;
}

} // namespace charts
