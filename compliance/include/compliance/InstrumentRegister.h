#pragma once

// The instrument register of an archive: every instrument and sensor with its last bump test and
// calibration, when the next ones are due and whether it was used while overdue or failed, and
// the events themselves. The events are kept in the archive beside the sessions they come from and
// made again from the stored bytes whenever this program's decoder of them is newer
// (kEventsVersion), so they never disagree with the report.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "compliance/ServiceEvent.h"
#include "compliance/ServiceStatus.h"

namespace archive {
class SessionArchive;
}

namespace compliance {

struct InstrumentRecord {
    qint64 id = 0;
    QString name;     // what the archive calls it
    QString serial;   // empty when it reports none
    QString firmware; // the version it reported last; empty when none
    QString firstDay; // of its first and last dated session; empty with none
    QString lastDay;
    int sessions = 0; // the dated ones switched on by the record's day, and the undated ones
    ServiceIntervals intervals; // its own where set, else the archive's
    InstrumentStatus status;
};

struct EventRow {
    qint64 id = 0;
    qint64 sessionId = 0;
    qint64 instrumentId = 0;
    QString instrument;
    QString serial;
    EventKind kind = EventKind::Bump;
    int sensor = kNoSensor; // its gas code
    int number = 0;         // the sensor's number, as its InstrumentRecord's sensors have it
    uint32_t stamp = 0;
    EventResult result = EventResult::None;
    QString value;
    QString user;
    QString job;
};

// Empty and unset members filter nothing.
struct EventFilter {
    std::vector<EventKind> kinds;
    std::optional<EventResult> result;
    std::optional<int64_t> fromDay; // inclusive day numbers (see CivilDay.h)
    std::optional<int64_t> toDay;
    std::vector<qint64> instruments;
    QString user; // part of the user's name, any case
    QString job;  // part of the job number, any case
};

// Alarms of an instrument's sessions in a period, per gas: sessions with an alarm of that gas
// and the alarms of those sessions.
struct GasAlarms {
    QString gas;
    int sessions = 0;
};

struct SessionStart {
    qint64 id = 0;
    uint32_t stamp = 0;
    QString jobs; // comma-separated
    QString users;
};

// Today on this computer's calendar, as a day number.
int64_t Today();

class InstrumentRegister {
public:
    // The archive must be open, and stay so while the register is used.
    explicit InstrumentRegister(archive::SessionArchive& store);

    // Makes the events of every session (of one instrument, when given) whose events are missing
    // or of an older decoder; returns how many sessions, or -1 on an error.
    int Refresh(qint64 instrument = 0);

    // One instrument at the end of `atDay`, its events made first. False on an error or when
    // the archive does not hold it.
    bool Status(qint64 instrument, int64_t atDay, InstrumentRecord& out);
    // What needs doing for one instrument at the end of `atDay`: the AttentionLines of its
    // status, worst first, empty when all is ok. False on an error.
    bool Attention(qint64 instrument, int64_t atDay, std::vector<std::string>& lines);

    // Every instrument (or those in `only`, when not empty) with its status at the end of `atDay`.
    bool Instruments(int64_t atDay, const std::vector<qint64>& only,
                     std::vector<InstrumentRecord>& out);
    // In time order, each sensor numbered as Instruments numbers it.
    bool Events(const EventFilter& filter, std::vector<EventRow>& out);
    // Of the sessions of one instrument that its record at the end of `toDay` counts (the dated
    // ones switched on by then, and the undated ones), per gas in order of the gas names.
    bool AlarmsByGas(qint64 instrument, int64_t toDay, std::vector<GasAlarms>& out);
    // The switch-on of each of these sessions with its jobs and users, in the order given.
    bool SessionStarts(const std::vector<int64_t>& ids, std::vector<SessionStart>& out);

    bool ArchiveIntervals(ServiceIntervals& intervals);
    // The archive's own (instrument 0) or an instrument's; unset members keep what they were.
    bool SetIntervals(qint64 instrument, const IntervalOverride& change);

    const QString& Error() const { return m_error; }

private:
    archive::SessionArchive& m_store;
    QString m_error;
};

} // namespace compliance
