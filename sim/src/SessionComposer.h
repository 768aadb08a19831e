#pragma once

#include <cstddef>
#include <cstdint>

#include "SessionPlan.h"
#include "sim/Faults.h"
#include "sim/LogMemory.h"

namespace sim {

// Turns planned sessions into their records and index names, one after the other: each session
// starts after the one before it has ended. The slot is left to the caller.
class SessionComposer {
public:
    // previousEnd: when the session before the first one composed here ended.
    explicit SessionComposer(Dice& dice, uint32_t previousEnd = 0)
        : m_dice(dice), m_previousEnd(previousEnd) {}

    // index: the session's place in the plan, which picks its site and its job number.
    GeneratedSession Compose(const PlannedSession& planned, size_t index);
    // When the last dated session composed ended.
    uint32_t PreviousEnd() const { return m_previousEnd; }

private:
    Dice& m_dice;
    uint32_t m_previousEnd;
};

// The session of record letters and versions the host does not decode, drawn from a stream of
// its own so that adding it moves nothing else.
GeneratedSession UnknownRecordsSession(uint64_t seed);

} // namespace sim
