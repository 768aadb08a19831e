#pragma once

// The register's status of an instrument when one of its sessions was switched on: the survey
// record's "register status at switch-on", asked of this one place by every command that writes
// one.

#include <QtGlobal>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "compliance/InstrumentRegister.h"

class DownloadKeeper;
class SessionTable;

namespace archive {
class SessionArchive;
}

namespace compliance {

class SwitchOnStatus {
public:
    // The archive must be open, and stay so while this is used.
    explicit SwitchOnStatus(archive::SessionArchive& store);

    // ServiceStatusWord of how the instrument stood when the session was switched on (`stamp`, on
    // the instrument's clock), as the register judges each session's use: the tests made before
    // it and the session's own (the bump test that begins it) counted, never a later one. Empty
    // for an undated session, and where the register cannot tell (the archive does not hold the
    // instrument or that session, or could not be read).
    std::string At(qint64 instrument, bool dated, uint32_t stamp);

private:
    InstrumentRegister m_register;
    // Answers already given, by instrument and day, then by switch-on: a day of many sessions is
    // judged once.
    std::map<std::pair<qint64, int64_t>, std::map<uint32_t, std::string>> m_known;
};

// The status At gives for each of `sessionSlots`, by the index `table` (their switch-on), asked
// of the archive the download's `keeper` keeps into, in the order given; empty words where it
// cannot tell, and no words at all when the keeper keeps no archive (none, another kind, or one
// that failed).
std::vector<std::string> SwitchOnStatusesOf(const DownloadKeeper* keeper, const SessionTable& table,
                                            const std::vector<int16_t>& sessionSlots);

} // namespace compliance
