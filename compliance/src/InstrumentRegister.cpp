#include "compliance/InstrumentRegister.h"

#include <QDate>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <map>
#include <memory>

#include "archive/ArchiveHistory.h"
#include "archive/IntervalStore.h"
#include "archive/SessionArchive.h"
#include "archive/SessionCapture.h"
#include "compliance/CivilDay.h"
#include "core/LogImage.h"
#include "textcodec/Cp1252.h"

namespace compliance {
namespace {

// Sessions whose events are made in one transaction: a bounded amount of memory, and a killed
// program loses at most these.
constexpr int kRefreshBatch = 256;

// What the archive calls the instrument of the instruments row `i`, as its listings do.
const char kLabel[] = "CASE WHEN i.name <> '' THEN i.name WHEN i.serial_number <> ''"
                      " THEN i.serial_number ELSE 'unnamed ' || CAST(i.id AS TEXT) END";

bool Run(QSqlQuery& query, QString& error) {
    if (!query.exec()) {
        error = query.lastError().text();
        return false;
    }
    return true;
}

bool Exec(QSqlDatabase& db, const QString& statement, QString& error) {
    QSqlQuery query(db);
    if (!query.exec(statement)) {
        error = query.lastError().text();
        return false;
    }
    return true;
}

// SQLite takes its write lock at BEGIN, so that two writers queue instead of one failing.
class Transaction {
public:
    Transaction(QSqlDatabase& db, bool server) : m_db(db), m_server(server) {}
    ~Transaction() {
        QString ignored;
        if (m_open) {
            Exec(m_db, "ROLLBACK", ignored);
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool Begin(QString& error) {
        m_open = Exec(m_db, m_server ? "BEGIN" : "BEGIN IMMEDIATE", error);
        return m_open;
    }
    bool Commit(QString& error) {
        m_open = false;
        return Exec(m_db, "COMMIT", error);
    }

private:
    QSqlDatabase& m_db;
    bool m_server;
    bool m_open = false;
};

QString Unicode(const std::string& bytes) {
    return FromCp1252(bytes).trimmed();
}

QString Marks(size_t count) {
    QStringList marks;
    for (size_t i = 0; i < count; ++i) {
        marks << "?";
    }
    return marks.join(", ");
}

// A LIKE pattern that finds `part` anywhere, its own wildcards taken as they are.
QString Containing(const QString& part) {
    QString escaped = part.toLower();
    escaped.replace("\\", "\\\\").replace("%", "\\%").replace("_", "\\_");
    return "%" + escaped + "%";
}

struct Derived {
    qint64 id;
    qint64 instrument;
    QString digest;
    SessionTests tests;
};

} // namespace

InstrumentRegister::InstrumentRegister(archive::SessionArchive& store) : m_store(store) {}

int InstrumentRegister::Refresh(qint64 instrument) {
    QSqlDatabase db = QSqlDatabase::database(m_store.ConnectionName(), false);
    std::unique_ptr<LogImage> image;
    {
        // Mostly there is nothing to make: one look at the index says so.
        QSqlQuery any(db);
        any.prepare(QString("SELECT 1 FROM sessions WHERE (events_version < ? OR"
                            " events_version > ?)%1 LIMIT 1")
                        .arg(instrument > 0 ? " AND instrument_id = ?" : ""));
        any.addBindValue(kEventsVersion);
        any.addBindValue(kEventsVersion);
        if (instrument > 0) {
            any.addBindValue(instrument);
        }
        if (!Run(any, m_error)) {
            return -1;
        }
        if (!any.next()) {
            return 0;
        }
    }
    qint64 after = 0;
    int refreshed = 0;
    for (;;) {
        std::vector<Derived> batch;
        {
            QSqlQuery stale(db);
            stale.setForwardOnly(true);
            stale.prepare(
                QString("SELECT s.id, s.instrument_id, s.slot, s.name, s.digest, b.sector,"
                        " b.overrun FROM sessions s JOIN session_bytes b"
                        " ON b.session_id = s.id WHERE (s.events_version < ? OR"
                        " s.events_version > ?) AND s.id > ?%2 ORDER BY s.id LIMIT %1")
                    .arg(kRefreshBatch)
                    .arg(instrument > 0 ? " AND s.instrument_id = ?" : ""));
            stale.addBindValue(kEventsVersion);
            stale.addBindValue(kEventsVersion);
            stale.addBindValue(after);
            if (instrument > 0) {
                stale.addBindValue(instrument);
            }
            if (!Run(stale, m_error)) {
                return -1;
            }
            while (stale.next()) {
                if (!image) {
                    image.reset(new LogImage);
                }
                const int16_t slot = static_cast<int16_t>(stale.value(2).toInt());
                archive::RestoreSession(*image, slot, stale.value(3).toByteArray(),
                                        stale.value(5).toByteArray(), stale.value(6).toByteArray());
                batch.push_back({stale.value(0).toLongLong(), stale.value(1).toLongLong(),
                                 stale.value(4).toString(), DeriveSessionTests(*image, slot)});
            }
        }
        if (batch.empty()) {
            return refreshed;
        }
        after = batch.back().id;
        Transaction transaction(db, m_store.IsServer());
        if (!transaction.Begin(m_error)) {
            return -1;
        }
        QSqlQuery clear(db);
        clear.prepare("DELETE FROM session_events WHERE session_id = ?");
        QSqlQuery insert(db);
        insert.prepare("INSERT INTO session_events (session_id, instrument_id, kind, sensor, stamp,"
                       " result, reading, user_name, job) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
        QSqlQuery mark(db);
        // A session replaced since it was read keeps its mark at 0 and is made on the next round.
        mark.prepare(
            "UPDATE sessions SET events_version = ?, tests = ? WHERE id = ? AND digest = ?");
        for (const Derived& d : batch) {
            clear.addBindValue(d.id);
            if (!Run(clear, m_error)) {
                return -1;
            }
            for (const ServiceEvent& e : d.tests.events) {
                insert.addBindValue(d.id);
                insert.addBindValue(d.instrument);
                insert.addBindValue(QString::fromLatin1(EventKindWord(e.kind)));
                insert.addBindValue(e.sensor);
                insert.addBindValue(static_cast<qint64>(e.stamp));
                insert.addBindValue(QString::fromLatin1(EventResultWord(e.result)));
                insert.addBindValue(QString::fromStdString(e.value));
                insert.addBindValue(Unicode(e.user));
                insert.addBindValue(Unicode(e.job));
                if (!Run(insert, m_error)) {
                    return -1;
                }
            }
            mark.addBindValue(kEventsVersion);
            mark.addBindValue(QString::fromStdString(PackTests(d.tests)));
            mark.addBindValue(d.id);
            mark.addBindValue(d.digest);
            if (!Run(mark, m_error)) {
                return -1;
            }
            refreshed += mark.numRowsAffected() == 1 ? 1 : 0;
        }
        if (!transaction.Commit(m_error)) {
            return -1;
        }
    }
}

bool InstrumentRegister::ArchiveIntervals(ServiceIntervals& intervals) {
    QSqlQuery query(QSqlDatabase::database(m_store.ConnectionName(), false));
    query.prepare("SELECT bump_days, calibration_days, warning_days FROM service_intervals"
                  " WHERE scope = 0");
    if (!Run(query, m_error)) {
        return false;
    }
    intervals = ServiceIntervals();
    if (query.next()) {
        intervals.bumpDays = query.isNull(0) ? intervals.bumpDays : query.value(0).toInt();
        intervals.calibrationDays =
            query.isNull(1) ? intervals.calibrationDays : query.value(1).toInt();
        intervals.warningDays = query.isNull(2) ? intervals.warningDays : query.value(2).toInt();
    }
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
    QSqlDatabase db = QSqlDatabase::database(m_store.ConnectionName(), false);
    auto among = [&only](const char* column) {
        return only.empty() ? QString()
                            : QString(" WHERE %1 IN (%2)").arg(column, Marks(only.size()));
    };
    std::map<qint64, size_t> index;
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.prepare(QString("SELECT i.id, %1, i.serial_number, o.bump_days, o.calibration_days,"
                              " o.warning_days, i.firmware FROM instruments i"
                              " LEFT JOIN service_intervals o"
                              " ON o.scope = i.id AND o.scope <> 0%2 ORDER BY 2, i.id")
                          .arg(kLabel, among("i.id")));
        for (qint64 id : only) {
            query.addBindValue(id);
        }
        if (!Run(query, m_error)) {
            return false;
        }
        while (query.next()) {
            InstrumentRecord record;
            record.id = query.value(0).toLongLong();
            record.name = query.value(1).toString();
            record.serial = query.value(2).toString();
            record.firmware = query.value(6).toString();
            IntervalOverride own;
            for (int k = 0; k < 3; ++k) {
                if (!query.isNull(3 + k)) {
                    (k == 0   ? own.bumpDays
                     : k == 1 ? own.calibrationDays
                              : own.warningDays) = query.value(3 + k).toInt();
                }
            }
            record.intervals = Applied(archiveIntervals, own);
            index[record.id] = out.size();
            out.push_back(record);
        }
    }
    // Every session's packed tests, an instrument's together and in time order: in SQLite one
    // walk of an index that holds all of it.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QString("SELECT instrument_id, id, dated, stamp, tests FROM sessions%1"
                          " ORDER BY instrument_id, stamp")
                      .arg(among("instrument_id")));
    for (qint64 id : only) {
        query.addBindValue(id);
    }
    if (!Run(query, m_error)) {
        return false;
    }
    std::vector<UsedSession> sessions;
    qint64 current = -1;
    auto finish = [&]() {
        const auto at = index.find(current);
        if (at != index.end()) {
            InstrumentRecord& record = out[at->second];
            record.sessions = static_cast<int>(sessions.size());
            for (const UsedSession& s : sessions) {
                if (s.dated && DayOfStamp(s.stamp) <= atDay) {
                    const QString day = QString::fromStdString(DayText(DayOfStamp(s.stamp)));
                    record.firstDay = record.firstDay.isEmpty() ? day : record.firstDay;
                    record.lastDay = day;
                }
            }
            record.status = EvaluateInstrument(std::move(sessions), record.intervals, atDay);
        }
        sessions.clear();
    };
    while (query.next()) {
        const qint64 instrument = query.value(0).toLongLong();
        if (instrument != current) {
            finish();
            current = instrument;
        }
        UsedSession s;
        s.id = query.value(1).toLongLong();
        s.dated = query.value(2).toInt() != 0;
        s.stamp = static_cast<uint32_t>(query.value(3).toLongLong());
        s.tests = UnpackTests(query.value(4).toString().toStdString());
        sessions.push_back(std::move(s));
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
    QString where = " WHERE 1 = 1";
    QVariantList values;
    if (!filter.kinds.empty()) {
        where += " AND e.kind IN (" + Marks(filter.kinds.size()) + ")";
        for (EventKind kind : filter.kinds) {
            values << QString::fromLatin1(EventKindWord(kind));
        }
    }
    if (filter.result) {
        where += " AND e.result = ?";
        values << QString::fromLatin1(EventResultWord(*filter.result));
    }
    if (filter.fromDay) {
        where += " AND e.stamp >= ?";
        values << static_cast<qint64>(*filter.fromDay * kSecondsPerDay);
    }
    if (filter.toDay) {
        where += " AND e.stamp < ?";
        values << static_cast<qint64>((*filter.toDay + 1) * kSecondsPerDay);
    }
    if (!filter.instruments.empty()) {
        where += " AND e.instrument_id IN (" + Marks(filter.instruments.size()) + ")";
        for (qint64 id : filter.instruments) {
            values << id;
        }
    }
    if (!filter.user.isEmpty()) {
        where += " AND LOWER(e.user_name) LIKE ? ESCAPE '\\'";
        values << Containing(filter.user);
    }
    if (!filter.job.isEmpty()) {
        where += " AND LOWER(e.job) LIKE ? ESCAPE '\\'";
        values << Containing(filter.job);
    }
    QSqlQuery query(QSqlDatabase::database(m_store.ConnectionName(), false));
    query.setForwardOnly(true);
    query.prepare(QString("SELECT e.id, e.session_id, e.instrument_id, %1, i.serial_number, e.kind,"
                          " e.sensor, e.stamp, e.result, e.reading, e.user_name, e.job"
                          " FROM session_events e JOIN instruments i ON i.id = e.instrument_id"
                          "%2 ORDER BY e.stamp, e.id")
                      .arg(kLabel, where));
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    if (!Run(query, m_error)) {
        return false;
    }
    while (query.next()) {
        EventRow row;
        row.id = query.value(0).toLongLong();
        row.sessionId = query.value(1).toLongLong();
        row.instrumentId = query.value(2).toLongLong();
        row.instrument = query.value(3).toString();
        row.serial = query.value(4).toString();
        ParseEventKind(query.value(5).toString().toStdString(), row.kind);
        row.sensor = query.value(6).toInt();
        row.stamp = static_cast<uint32_t>(query.value(7).toLongLong());
        ParseEventResult(query.value(8).toString().toStdString(), row.result);
        row.value = query.value(9).toString();
        row.user = query.value(10).toString();
        row.job = query.value(11).toString();
        out.push_back(row);
    }
    return true;
}

bool InstrumentRegister::AlarmsByGas(qint64 instrument, int64_t toDay,
                                     std::vector<GasAlarms>& out) {
    out.clear();
    QSqlQuery query(QSqlDatabase::database(m_store.ConnectionName(), false));
    query.setForwardOnly(true);
    query.prepare("SELECT alarm_gases FROM sessions WHERE instrument_id = ? AND dated = 1"
                  " AND stamp < ? AND alarm_count > 0");
    query.addBindValue(instrument);
    query.addBindValue(static_cast<qint64>((toDay + 1) * kSecondsPerDay));
    if (!Run(query, m_error)) {
        return false;
    }
    std::map<QString, int> counts;
    while (query.next()) {
        for (const QString& gas : query.value(0).toString().split('\n', Qt::SkipEmptyParts)) {
            ++counts[gas];
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
    std::map<qint64, SessionStart> found;
    // A few hundred at a time: one statement each, well within any engine's limit on values.
    constexpr size_t kChunk = 200;
    for (size_t from = 0; from < ids.size(); from += kChunk) {
        const size_t count = std::min(kChunk, ids.size() - from);
        QSqlQuery query(QSqlDatabase::database(m_store.ConnectionName(), false));
        query.setForwardOnly(true);
        query.prepare("SELECT id, stamp, jobs, users FROM sessions WHERE id IN (" + Marks(count) +
                      ")");
        for (size_t k = 0; k < count; ++k) {
            query.addBindValue(static_cast<qint64>(ids[from + k]));
        }
        if (!Run(query, m_error)) {
            return false;
        }
        while (query.next()) {
            const qint64 id = query.value(0).toLongLong();
            found[id] = {id, static_cast<uint32_t>(query.value(1).toLongLong()),
                         query.value(2).toString().replace('\n', ", "),
                         query.value(3).toString().replace('\n', ", ")};
        }
    }
    for (int64_t id : ids) {
        const auto at = found.find(id);
        if (at != found.end()) {
            out.push_back(at->second);
        }
    }
    return true;
}

} // namespace compliance
