#include "compliance/SwitchOnStatus.h"

#include "compliance/CivilDay.h"
#include "compliance/ServiceStatus.h"

namespace compliance {

SwitchOnStatus::SwitchOnStatus(archive::SessionArchive& store) : m_register(store) {}

std::string SwitchOnStatus::At(qint64 instrument, bool dated, uint32_t stamp) {
    if (!dated || instrument <= 0) {
        return std::string();
    }
    const std::pair<qint64, int64_t> key(instrument, DayOfStamp(stamp));
    const auto known = m_known.find(key);
    if (known != m_known.end()) {
        const auto word = known->second.find(stamp);
        return word == known->second.end() ? std::string() : word->second;
    }
    InstrumentRecord record;
    std::map<uint32_t, std::string>& day = m_known[key];
    if (m_register.Status(instrument, key.second, record)) {
        for (const auto& [switchOn, status] : record.status.atSwitchOn) {
            day[switchOn] = ServiceStatusWord(status);
        }
    }
    const auto word = day.find(stamp);
    return word == day.end() ? std::string() : word->second;
}

} // namespace compliance
