#pragma once

#include "core/SessionTable.h"
#include "report/Report.h"

#include <cstdint>

// Whether the bytes held for a session are the session its index entry names. The instrument's
// memory can change under a session list that was read before (another instrument on the same
// link, a memory cleared and filled again): a session shown or filed under the old entry's name
// would then be another session's data under this one's label.
enum class SessionMatch {
    Matches,
    StartsElsewhere, // its first time-stamped record is not at the entry's start
    EndsBeforeStart, // its last time-stamped record is before the entry's start
};

// How long after the entry's start the first time-stamped record may come: a session continued
// from a full sector begins with its first reading, not with a switch-on at its start.
constexpr uint32_t kSessionStartTolerance = 3600;

// Checks the session bytes of entry.slot that `source` supplies against the entry. An undated
// entry, or a session without a time-stamped record, has nothing to compare and matches.
SessionMatch CheckSessionAgainstEntry(SessionByteSource& source, const SessionEntry& entry);
