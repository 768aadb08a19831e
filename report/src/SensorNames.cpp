#include "report/SensorNames.h"

#include <algorithm>

std::string SensorGasName(unsigned code) {
    const GasInfo& gas = GasInfoOf(code);
    return *gas.Name != '\0' ? std::string(gas.Name) : "gas " + std::to_string(code);
}

std::vector<SensorOrder::Sensor> SensorOrder::Counted(const std::vector<int>& codes) {
    std::vector<Sensor> sensors;
    sensors.reserve(codes.size());
    for (size_t k = 0; k < codes.size(); ++k) {
        const int before = static_cast<int>(
            std::count(codes.begin(), codes.begin() + static_cast<long>(k), codes[k]));
        sensors.emplace_back(codes[k], before);
    }
    return sensors;
}

void SensorOrder::Add(const std::vector<int>& codes) {
    const std::vector<Sensor> listed = Counted(codes);
    // Where the sensor before the present one stands in the order; none yet.
    ptrdiff_t before = -1;
    for (size_t k = 0; k < listed.size(); ++k) {
        const auto known = std::find(m_sensors.begin(), m_sensors.end(), listed[k]);
        if (known != m_sensors.end()) {
            before = known - m_sensors.begin();
            continue;
        }
        ptrdiff_t at = static_cast<ptrdiff_t>(m_sensors.size());
        if (before >= 0) {
            at = before + 1;
        } else {
            for (size_t next = k + 1; next < listed.size(); ++next) {
                const auto found = std::find(m_sensors.begin(), m_sensors.end(), listed[next]);
                if (found != m_sensors.end()) {
                    at = found - m_sensors.begin();
                    break;
                }
            }
        }
        m_sensors.insert(m_sensors.begin() + at, listed[k]);
        before = at;
    }
}

void SensorOrder::Add(const std::vector<SensorValue>& sensors) {
    std::vector<int> codes;
    codes.reserve(sensors.size());
    for (const SensorValue& sensor : sensors) {
        codes.push_back(sensor.Code);
    }
    Add(codes);
}

int SensorOrder::Number(int code, int occurrence) const {
    const auto found = std::find(m_sensors.begin(), m_sensors.end(), Sensor(code, occurrence));
    return found == m_sensors.end() ? 0 : static_cast<int>(found - m_sensors.begin()) + 1;
}

std::vector<int> SensorOrder::Numbers(const std::vector<SensorValue>& sensors) const {
    std::vector<int> codes;
    codes.reserve(sensors.size());
    for (const SensorValue& sensor : sensors) {
        codes.push_back(sensor.Code);
    }
    std::vector<int> numbers;
    numbers.reserve(codes.size());
    for (const Sensor& sensor : Counted(codes)) {
        numbers.push_back(Number(sensor.first, sensor.second));
    }
    return numbers;
}

std::vector<int> SensorOrder::Gases() const {
    std::vector<int> gases;
    for (const Sensor& sensor : m_sensors) {
        if (sensor.second == 0) {
            gases.push_back(sensor.first);
        }
    }
    return gases;
}
