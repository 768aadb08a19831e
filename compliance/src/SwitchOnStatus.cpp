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
        return known->second;
    }
    InstrumentRecord record;
    const std::string word = m_register.Status(instrument, key.second, record)
                                 ? ServiceStatusWord(record.status.status)
                                 : std::string();
    m_known.emplace(key, word);
    return word;
}

} // namespace compliance
