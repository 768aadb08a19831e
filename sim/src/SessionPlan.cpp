#include "SessionPlan.h"

#include "orvtime/Calendar.h"

namespace sim {

namespace {

constexpr uint32_t kDay = 86400;
constexpr uint32_t kHour = 3600;
// The tenth and fifteenth sessions of the plan are the escape edge and the long run: late enough
// for the first days to show every kind of work first.
constexpr int kEscapeAtByte99Index = 9;
constexpr int kLongRunIndex = 14;
// The latest an added session starts on a working day.
constexpr uint32_t kLatestStart = 18 * kHour;
// The least time between one session's end and the next one's start.
constexpr uint32_t kGap = 900;

int64_t DaysSince2000(int64_t civilDays) {
    return civilDays - DaysFromCivil(2000, 1, 1);
}

bool WorkingDay(int64_t civilDays) {
    const int weekday = static_cast<int>((civilDays + 4) % 7); // 0 Sunday
    return weekday != 0 && weekday != 6;
}

// A working day's first session starts between 7:30 and 9:00.
uint32_t FirstStart(int64_t civilDays, Dice& dice) {
    return static_cast<uint32_t>(DaysSince2000(civilDays) * kDay) + 7 * kHour + 30 * 60 +
           dice.Below(90 * 60);
}

// The next session of a day starts two to four hours after the one before.
uint32_t NextStart(uint32_t previousStart, Dice& dice) {
    return previousStart + 2 * kHour + dice.Below(2 * kHour);
}

SessionKind KindAt(size_t index) {
    return static_cast<SessionKind>(index % 4);
}

} // namespace

std::vector<PlannedSession> PlanSessions(Dice& dice) {
    std::vector<PlannedSession> plan;
    const int64_t first = DaysFromCivil(2026, 8, 17);
    const int64_t last = DaysFromCivil(2026, 11, 20);
    int index = 0;
    for (int64_t d = first; d <= last; ++d) {
        if (!WorkingDay(d))
            continue;
        // The first fortnight is busy, so every kind shows up early; later days are sparser.
        if (d - first >= 14 && !dice.Chance(0.45))
            continue;
        const int sessions = 1 + static_cast<int>(dice.Below(kMostSessionsPerDay));
        uint32_t t = FirstStart(d, dice);
        for (int s = 0; s < sessions; ++s, ++index) {
            PlannedSession p{t, KindAt(static_cast<size_t>(index)), index < 8,
                             SpecialSession::None};
            if (index == kEscapeAtByte99Index)
                p.special = SpecialSession::EscapeAtByte99;
            if (index == kLongRunIndex)
                p.special = SpecialSession::LongRun; // its continuation follows on the same day
            plan.push_back(p);
            if (p.special == SpecialSession::LongRun) {
                plan.push_back(
                    PlannedSession{0, SessionKind::Monitor, false, SpecialSession::Continuation});
                ++s;
                ++index;
            }
            t = NextStart(t, dice);
        }
    }
    // Never between a long run and its continuation.
    const auto insertNear = [&plan](size_t at, const PlannedSession& p) {
        while (at > 0 && at < plan.size() && plan[at].special == SpecialSession::Continuation)
            ++at;
        plan.insert(plan.begin() + static_cast<long>(at), p);
    };
    insertNear(plan.size() / 3,
               PlannedSession{0, SessionKind::Survey, false, SpecialSession::OverflowingRun});
    insertNear(plan.size() / 2, PlannedSession{7 * kHour + 12 * 60, SessionKind::Survey, false,
                                               SpecialSession::Undated});
    return plan;
}

NewSessionDays::NewSessionDays(const LastDay& day, size_t firstIndex)
    : m_civilDay(static_cast<int64_t>(day.lastStart / kDay) + DaysFromCivil(2000, 1, 1)),
      m_onDay(day.sessions), m_previousStart(day.lastStart), m_index(firstIndex) {}

PlannedSession NewSessionDays::Next(uint32_t previousEnd, Dice& dice) {
    uint32_t start = NextStart(m_previousStart, dice);
    if (start < previousEnd + kGap)
        start = previousEnd + kGap;
    const uint32_t dayStart = static_cast<uint32_t>(DaysSince2000(m_civilDay) * kDay);
    if (m_onDay >= kMostSessionsPerDay || start > dayStart + kLatestStart) {
        do
            ++m_civilDay;
        while (!WorkingDay(m_civilDay));
        start = FirstStart(m_civilDay, dice);
        m_onDay = 0;
    }
    ++m_onDay;
    m_previousStart = start;
    return PlannedSession{start, KindAt(m_index++), false, SpecialSession::None};
}

} // namespace sim
