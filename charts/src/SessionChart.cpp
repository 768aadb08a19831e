#include "charts/SessionChart.h"

#include <algorithm>

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

std::vector<std::string> SessionChart::Units() const {
    static const char* const kOrder[] = {"% LEL", "% gas", "%", "ppm", "mg/m3"};
    std::vector<std::string> units;
    for (const char* unit : kOrder) {
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

} // namespace charts
