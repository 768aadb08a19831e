#include "compliance/SwitchOnStatus.h"

#include "archive/DownloadArchive.h"
#include "archive/SessionArchive.h"
#include "compliance/CivilDay.h"
#include "compliance/ServiceStatus.h"
#include "core/SessionTable.h"

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

std::vector<std::string> SwitchOnStatusesOf(const DownloadKeeper* keeper, const SessionTable& table,
                                            const std::vector<int16_t>& sessionSlots) {
    std::vector<std::string> statuses;
    const auto* kept = dynamic_cast<const DownloadArchive*>(keeper);
    archive::SessionArchive* store = kept != nullptr ? kept->Store() : nullptr;
    const qint64 instrument = kept != nullptr ? kept->InstrumentId() : -1;
    if (store == nullptr || instrument <= 0) {
        return statuses;
    }
    SwitchOnStatus atSwitchOn(*store);
    for (int16_t slot : sessionSlots) {
        const SessionEntry* entry = table.FindSlot(slot);
        statuses.push_back(entry == nullptr
                               ? std::string()
                               : atSwitchOn.At(instrument, entry->undated == 0, entry->startStamp));
    }
    return statuses;
}

} // namespace compliance
