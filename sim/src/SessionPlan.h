#pragma once

#include <cstdint>
#include <vector>

#include "sim/Faults.h"

// Which sessions the generated memory holds, in slot order, and when each starts.
namespace sim {

// Kinds of work; the number is also the mode the session is worked in.
enum class SessionKind { Survey, Leak, Monitor, Calibration };

// Sessions placed on purpose at the host's edges.
enum class SpecialSession {
    None,
    EscapeAtByte99, // a stored escape on the last byte of the first 100-byte chunk the host reads
    OverflowingRun, // readings stored escaped so often that they run past the session's sector
    LongRun,        // a monitoring run that fills its sector...
    Continuation,   // ...and goes on in the next slot, tagged as a continuation
    Undated,        // the clock was lost: stamps count from the instrument's epoch
};

struct PlannedSession {
    uint32_t start = 0; // seconds since 2000; for an undated session, since its lost clock's start
    SessionKind kind = SessionKind::Survey;
    bool full = false; // every record form its kind has
    SpecialSession special = SpecialSession::None;
};

// Working days from Monday 17 August to Friday 20 November 2026, one to three sessions a day
// (kMostSessionsPerDay) two to four hours apart, the special sessions among them.
std::vector<PlannedSession> PlanSessions(Dice& dice);

constexpr int kMostSessionsPerDay = 3;

// Where the last generated day ends and how much of it is taken, for sessions added after it.
struct LastDay {
    uint32_t lastStart = 0; // start of the last session
    int sessions = 0;       // sessions started on that day
};

// Sessions added after the generated ones, laid out as the generator lays out its days: on the
// last day while it is not full (it holds fewer than kMostSessionsPerDay sessions and the next
// one would still start by 18:00), then on the working days after it.
class NewSessionDays {
public:
    // firstIndex: the plan index the first added session takes, which picks its kind.
    NewSessionDays(const LastDay& day, size_t firstIndex);

    // The next session, starting at least a quarter of an hour after previousEnd.
    PlannedSession Next(uint32_t previousEnd, Dice& dice);

private:
    int64_t m_civilDay;
    int m_onDay;
    uint32_t m_previousStart;
    size_t m_index;
};

} // namespace sim
