#include "compliance/InstrumentRegister.h"

#include <QDate>
#include <algorithm>
#include <map>

#include "archive/IntervalStore.h"
#include "archive/RegisterRows.h"
#include "compliance/CivilDay.h"
#include "core/LogImage.h"
#include "textcodec/Cp1252.h"

namespace compliance {
namespace {

QString Unicode(const std::string& bytes) {
    return FromCp1252(bytes).trimmed();
}

// The archive keeps a session's tests as words; the register's decoder says what they are.
archive::MadeTests Made(LogImage& image, int16_t slot) {
    const SessionTests tests = DeriveSessionTests(image, slot);
    archive::MadeTests made;
    for (const ServiceEvent& e : tests.events) {
        made.tests.push_back({QString::fromLatin1(EventKindWord(e.kind)), e.sensor,
                              static_cast<qint64>(e.stamp),
                              QString::fromLatin1(EventResultWord(e.result)),
                              QString::fromStdString(e.value), Unicode(e.user), Unicode(e.job)});
    }
    made.packed = QString::fromStdString(PackTests(tests));
    return made;
}

// Which sessions the register speaks of at the end of `atDay`, in every count it gives: the
// dated ones switched on by then, and every undated one, which belongs to the instrument though
// when it was used cannot be told.
bool Covers(bool dated, uint32_t stamp, int64_t atDay) {
    return !dated || DayOfStamp(stamp) <= atDay;
}

UsedSession Used(const archive::TestedSession& tested) {
    UsedSession s;
    s.id = tested.id;
    s.dated = tested.dated;
    s.stamp = tested.stamp;
    s.tests = UnpackTests(tested.packed.toStdString());
    return s;
}

IntervalOverride Own(const archive::IntervalDays& days) {
    IntervalOverride own;
    own.bumpDays = days.bumpDays;
    own.calibrationDays = days.calibrationDays;
    own.warningDays = days.warningDays;
    return own;
}

} // namespace

InstrumentRegister::InstrumentRegister(archive::SessionArchive& store) : m_store(store) {}

int InstrumentRegister::Refresh(qint64 instrument) {
    archive::RegisterRows rows(m_store);
    const int made = rows.RemakeTests(kEventsVersion, instrument, Made);
    if (made < 0) {
        m_error = rows.Error();
    }
    return made;
}

bool InstrumentRegister::ArchiveIntervals(ServiceIntervals& intervals) {
    archive::RegisterRows rows(m_store);
    archive::IntervalDays days;
    if (!rows.ArchiveIntervals(days)) {
        m_error = rows.Error();
        return false;
    }
    intervals = Applied(ServiceIntervals(), Own(days));
    return true;
}

bool InstrumentRegister::SetIntervals(qint64 instrument, const IntervalOverride& change) {
    // Which intervals were in force decides every status: the archive's writer records each
    // change as evidence, and only a change.
    const ServiceIntervals defaults;
    return archive::SetServiceIntervals(
               m_store, instrument, {change.bumpDays, change.calibrationDays, change.warningDays},
               {defaults.bumpDays, defaults.calibrationDays, defaults.warningDays},
               m_error) != archive::IntervalWrite::Failed;
}

int64_t Today() {
    int64_t day = 0;
    ParseDay(QDate::currentDate().toString("yyyy-MM-dd").toStdString(), day);
    return day;
}

bool InstrumentRegister::Status(qint64 instrument, int64_t atDay, InstrumentRecord& out) {
    std::vector<InstrumentRecord> records;
    if (Refresh(instrument) < 0 || !Instruments(atDay, {instrument}, records) || records.empty()) {
        return false;
    }
    out = records.front();
    return true;
}

bool InstrumentRegister::Attention(qint64 instrument, int64_t atDay,
                                   std::vector<std::string>& lines) {
    lines.clear();
    InstrumentRecord record;
    if (!Status(instrument, atDay, record)) {
        return false;
    }
    lines = AttentionLines(record.status);
    return true;
}

bool InstrumentRegister::Instruments(int64_t atDay, const std::vector<qint64>& only,
                                     std::vector<InstrumentRecord>& out) {
    out.clear();
    ServiceIntervals archiveIntervals;
    if (!ArchiveIntervals(archiveIntervals)) {
        return false;
    }
    archive::RegisterRows rows(m_store);
    std::vector<archive::RegisterInstrument> instruments;
    if (!rows.Instruments(only, instruments)) {
        m_error = rows.Error();
        return false;
    }
    std::map<qint64, size_t> index;
    for (const archive::RegisterInstrument& instrument : instruments) {
        InstrumentRecord record;
        record.id = instrument.id;
        record.name = instrument.name;
        record.serial = instrument.serial;
        record.firmware = instrument.firmware;
        record.intervals = Applied(archiveIntervals, Own(instrument.own));
        index[record.id] = out.size();
        out.push_back(record);
    }
    std::vector<UsedSession> sessions;
    qint64 current = -1;
    auto finish = [&]() {
        const auto at = index.find(current);
        if (at != index.end()) {
            InstrumentRecord& record = out[at->second];
            for (const UsedSession& s : sessions) {
                record.sessions += Covers(s.dated, s.stamp, atDay) ? 1 : 0;
                if (s.dated && Covers(s.dated, s.stamp, atDay)) {
                    const QString day = QString::fromStdString(DayText(DayOfStamp(s.stamp)));
                    record.firstDay = record.firstDay.isEmpty() ? day : record.firstDay;
                    record.lastDay = day;
                }
            }
            record.status = EvaluateInstrument(std::move(sessions), record.intervals, atDay);
        }
        sessions.clear();
    };
    // Every session's packed tests, an instrument's together and in time order.
    const bool read = rows.ForEachTested(only, [&](const archive::TestedSession& tested) {
        if (tested.instrumentId != current) {
            finish();
            current = tested.instrumentId;
        }
        sessions.push_back(Used(tested));
    });
    if (!read) {
        m_error = rows.Error();
        return false;
    }
    finish();
    for (InstrumentRecord& record : out) {
        if (record.sessions == 0) {
            record.status = EvaluateInstrument({}, record.intervals, atDay);
        }
    }
    return true;
}

bool InstrumentRegister::Events(const EventFilter& filter, std::vector<EventRow>& out) {
    out.clear();
    archive::TestQuery query;
    for (EventKind kind : filter.kinds) {
        query.kinds << QString::fromLatin1(EventKindWord(kind));
    }
    if (filter.result) {
        query.result = QString::fromLatin1(EventResultWord(*filter.result));
    }
    if (filter.fromDay) {
        query.fromStamp = static_cast<qint64>(*filter.fromDay * kSecondsPerDay);
    }
    if (filter.toDay) {
        query.beforeStamp = static_cast<qint64>((*filter.toDay + 1) * kSecondsPerDay);
    }
    query.instruments = filter.instruments;
    query.user = filter.user;
    query.job = filter.job;
    archive::RegisterRows rows(m_store);
    std::vector<archive::KeptTest> kept;
    if (!rows.Tests(query, kept)) {
        m_error = rows.Error();
        return false;
    }
    // The sensors' numbers: each instrument's order, from all its sessions as its record has it.
    std::vector<qint64> instruments;
    for (const archive::KeptTest& k : kept) {
        if (std::find(instruments.begin(), instruments.end(), k.instrumentId) ==
            instruments.end()) {
            instruments.push_back(k.instrumentId);
        }
    }
    std::map<qint64, std::vector<UsedSession>> sessions;
    if (!instruments.empty() &&
        !rows.ForEachTested(instruments, [&sessions](const archive::TestedSession& tested) {
            sessions[tested.instrumentId].push_back(Used(tested));
        })) {
        m_error = rows.Error();
        return false;
    }
    std::map<qint64, SensorOrder> orders;
    for (auto& instrument : sessions) {
        orders[instrument.first] = InstrumentSensorOrder(std::move(instrument.second));
    }
    for (const archive::KeptTest& k : kept) {
        EventRow row;
        row.id = k.id;
        row.sessionId = k.sessionId;
        row.instrumentId = k.instrumentId;
        row.instrument = k.instrument;
        row.serial = k.serial;
        ParseEventKind(k.test.kind.toStdString(), row.kind);
        row.sensor = k.test.sensor;
        const auto order = orders.find(k.instrumentId);
        row.number =
            row.sensor == kNoSensor || order == orders.end() ? 0 : order->second.Number(row.sensor);
        row.stamp = static_cast<uint32_t>(k.test.stamp);
        ParseEventResult(k.test.result.toStdString(), row.result);
        row.value = k.test.reading;
        row.user = k.test.user;
        row.job = k.test.job;
        out.push_back(row);
    }
    return true;
}

bool InstrumentRegister::AlarmsByGas(qint64 instrument, int64_t toDay,
                                     std::vector<GasAlarms>& out) {
    out.clear();
    archive::RegisterRows rows(m_store);
    std::vector<archive::AlarmSession> alarmed;
    if (!rows.AlarmSessions(instrument, alarmed)) {
        m_error = rows.Error();
        return false;
    }
    std::map<QString, int> counts;
    for (const archive::AlarmSession& session : alarmed) {
        if (Covers(session.dated, session.stamp, toDay)) {
            for (const QString& gas : session.gases) {
                ++counts[gas];
            }
        }
    }
    for (const auto& count : counts) {
        out.push_back({count.first, count.second});
    }
    return true;
}

bool InstrumentRegister::SessionStarts(const std::vector<int64_t>& ids,
                                       std::vector<SessionStart>& out) {
    out.clear();
    archive::RegisterRows rows(m_store);
    std::vector<archive::SessionStartRow> starts;
    if (!rows.SessionStarts(ids, starts)) {
        m_error = rows.Error();
        return false;
    }
    for (const archive::SessionStartRow& start : starts) {
        out.push_back({start.id, start.stamp, start.jobs.join(", "), start.users.join(", ")});
    }
    return true;
}

} // namespace compliance
