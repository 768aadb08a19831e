#include "core/SessionCheck.h"

#include "report/SessionValues.h"

SessionMatch CheckSessionAgainstEntry(SessionByteSource& source, const SessionEntry& entry) {
    if (!entry.used || entry.undated) {
        return SessionMatch::Matches;
    }
    const ModeNameList noNames;
    SessionRecordReader reader(source, entry.slot, noNames);
    RecordValue value;
    bool stamped = false;
    uint32_t first = 0;
    uint32_t last = 0;
    while (reader.Next(value)) {
        if (!value.Stamped) {
            continue;
        }
        if (!stamped) {
            first = value.Stamp;
            stamped = true;
        }
        last = value.Stamp;
    }
    if (!stamped) {
        return SessionMatch::Matches;
    }
    if (first < entry.startStamp || first - entry.startStamp > kSessionStartTolerance) {
        return SessionMatch::StartsElsewhere;
    }
    return last < entry.startStamp ? SessionMatch::EndsBeforeStart : SessionMatch::Matches;
}
