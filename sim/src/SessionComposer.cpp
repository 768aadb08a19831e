#include "SessionComposer.h"

#include <cstdio>
#include <string>

#include "SessionBodies.h"
#include "sim/InstrumentTests.h"

namespace sim {

namespace {

constexpr int kUsers = 4;
// Monitoring runs are worked in the instrument's fourth mode.
constexpr int kMonitoringMode = 3;
constexpr uint32_t kGap = 900; // at least this long between one session's end and the next
constexpr uint64_t kUnknownRecordsStream = 0x554E4B4E4F574E00ull;

std::string SessionName(bool dated, uint32_t stamp, const RecordComposer& c, bool continuation,
                        int mode, int user) {
    char name[20];
    if (dated)
        std::snprintf(name, sizeof name, "%08X", stamp);
    else
        std::snprintf(name, sizeof name, "FFFFFFFF");
    std::string s = name;
    s += ' ';
    s += c.fieldCal ? 'F' : '-';
    s += c.alarm ? 'A' : '-';
    s += continuation ? 'C' : '-';
    s += c.cal ? 'C' : '-';
    s += kModeCodes[mode];
    s += ' ';
    s += kInitials[user];
    return s.substr(0, 19);
}

GeneratedSession Finish(const RecordComposer& c, bool dated, uint32_t stamp, bool continuation,
                        int mode, int user) {
    GeneratedSession s;
    s.dated = dated;
    s.stamp = stamp;
    s.stream = c.Stream();
    s.alarm = c.alarm;
    s.cal = c.cal;
    s.fieldCal = c.fieldCal;
    s.continuation = continuation;
    s.kinds = c.Kinds();
    s.name = SessionName(dated, stamp, c, continuation, mode, user);
    return s;
}

void KindBody(RecordComposer& c, SessionKind kind, bool full) {
    switch (kind) {
    case SessionKind::Survey:
        SurveyBody(c);
        break;
    case SessionKind::Leak:
        LeakBody(c, full);
        break;
    case SessionKind::Monitor:
        MonitorBody(c, full);
        break;
    case SessionKind::Calibration:
        CalibrationBody(c, full);
        break;
    }
}

} // namespace

GeneratedSession SessionComposer::Compose(const PlannedSession& planned, size_t index) {
    const SpecialSession special = planned.special;
    uint32_t start = planned.start;
    if (special == SpecialSession::OverflowingRun) // on the day of the session before it
        start = m_previousEnd + 3600;
    if (special == SpecialSession::Continuation)
        start = m_previousEnd + 1;
    if (special != SpecialSession::Continuation && special != SpecialSession::Undated &&
        start < m_previousEnd + kGap)
        start = m_previousEnd + kGap;
    const bool monitoring = special == SpecialSession::OverflowingRun ||
                            special == SpecialSession::LongRun ||
                            special == SpecialSession::Continuation;
    const int mode = monitoring ? kMonitoringMode : static_cast<int>(planned.kind);
    const int user = static_cast<int>(m_dice.Below(kUsers));
    const int job = static_cast<int>(index);
    RecordComposer c(m_dice, start, static_cast<int>(index));
    const bool continuation = special == SpecialSession::Continuation;

    if (!continuation)
        SwitchOn(c, mode, user, m_dice.Chance(0.7) || special == SpecialSession::EscapeAtByte99);
    switch (special) {
    case SpecialSession::EscapeAtByte99:
        UserAndJob(c, user, job);
        EscapeAtByte99Body(c);
        LeakBody(c, false);
        SwitchOff(c);
        break;
    case SpecialSession::OverflowingRun:
        OverflowingRunBody(c);
        SwitchOff(c);
        break;
    case SpecialSession::LongRun:
        // It fills its sector; the instrument goes on in the next slot.
        LongRunBody(c, 3900);
        break;
    case SpecialSession::Continuation:
        LongRunBody(c, 600);
        SwitchOff(c);
        break;
    case SpecialSession::Undated:
    case SpecialSession::None:
        // After a lost clock the engineer always enters user and job again.
        if (special == SpecialSession::Undated || m_dice.Chance(0.6))
            UserAndJob(c, user, job);
        KindBody(c, planned.kind, planned.full);
        SwitchOff(c);
        break;
    }
    const bool dated = special != SpecialSession::Undated;
    if (dated)
        m_previousEnd = c.Now();
    return Finish(c, dated, start, continuation, mode, user);
}

GeneratedSession UnknownRecordsSession(uint64_t seed) {
    Dice own(seed ^ kUnknownRecordsStream);
    const uint32_t start = InstrumentStamp(2026, 11, 23, 9, 14, 0);
    RecordComposer c(own, start, 7);
    SwitchOn(c, 0, 1, true);
    UnknownBody(c);
    SwitchOff(c);
    GeneratedSession s = Finish(c, true, start, false, 0, 1);
    s.unknownRecords = true;
    return s;
}

} // namespace sim
