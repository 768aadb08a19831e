#include "archive/RegisterRows.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <memory>

#include "archive/ArchiveValues.h"
#include "archive/SessionArchive.h"
#include "archive/SessionCapture.h"
#include "archive/SqlSteps.h"
#include "core/LogImage.h"

namespace archive {
namespace {

// Sessions whose tests are made in one transaction: a bounded amount of memory, and a killed
// program loses at most these.
constexpr int kRemakeBatch = 256;

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

struct Made {
    qint64 id;
    qint64 instrument;
    QString digest;
    MadeTests tests;
};

// One batch's tests in a transaction of their own, each session's in place of those it had, and
// its mark of the decoder's version; `marked` counts the sessions marked.
bool StoreTests(QSqlDatabase& db, bool server, int version, const std::vector<Made>& batch,
                int& marked, QString& error) {
    SqlTransaction transaction(db, server);
    if (!transaction.Begun(error)) {
        return false;
    }
    QSqlQuery clear(db);
    clear.prepare("DELETE FROM session_events WHERE session_id = ?");
    QSqlQuery insert(db);
    insert.prepare("INSERT INTO session_events (session_id, instrument_id, kind, sensor, stamp,"
                   " result, reading, user_name, job) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    QSqlQuery mark(db);
    // A session replaced since it was read keeps its mark and is made on the next round.
    mark.prepare("UPDATE sessions SET events_version = ?, tests = ? WHERE id = ? AND digest = ?");
    for (const Made& m : batch) {
        clear.addBindValue(m.id);
        if (!Run(clear, error)) {
            return false;
        }
        for (const StoredTest& t : m.tests.tests) {
            insert.addBindValue(m.id);
            insert.addBindValue(m.instrument);
            insert.addBindValue(Text(t.kind));
            insert.addBindValue(t.sensor);
            insert.addBindValue(t.stamp);
            insert.addBindValue(Text(t.result));
            insert.addBindValue(Text(t.reading));
            insert.addBindValue(Text(t.user));
            insert.addBindValue(Text(t.job));
            if (!Run(insert, error)) {
                return false;
            }
        }
        mark.addBindValue(version);
        mark.addBindValue(Text(m.tests.packed));
        mark.addBindValue(m.id);
        mark.addBindValue(m.digest);
        if (!Run(mark, error)) {
            return false;
        }
        marked += mark.numRowsAffected() == 1 ? 1 : 0;
    }
    return transaction.Commit(error);
}

} // namespace

RegisterRows::RegisterRows(SessionArchive& archive) : m_archive(archive) {}

int RegisterRows::RemakeTests(int version, qint64 instrument, const TestMaker& make) {
    QSqlDatabase db = QSqlDatabase::database(m_archive.ConnectionName(), false);
    const QString ofInstrument = instrument > 0 ? " AND s.instrument_id = ?" : "";
    {
        // Mostly there is nothing to make: one look at the index says so.
        QSqlQuery any(db);
        any.prepare(QString("SELECT 1 FROM sessions s WHERE (s.events_version < ? OR"
                            " s.events_version > ?)%1 LIMIT 1")
                        .arg(ofInstrument));
        any.addBindValue(version);
        any.addBindValue(version);
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
    std::unique_ptr<LogImage> image;
    qint64 after = 0;
    int marked = 0;
    for (;;) {
        std::vector<Made> batch;
        {
            QSqlQuery stale(db);
            stale.setForwardOnly(true);
            stale.prepare(
                QString("SELECT s.id, s.instrument_id, s.slot, s.name, s.digest, b.sector,"
                        " b.overrun FROM sessions s JOIN session_bytes b"
                        " ON b.session_id = s.id WHERE (s.events_version < ? OR"
                        " s.events_version > ?) AND s.id > ?%2 ORDER BY s.id LIMIT %1")
                    .arg(kRemakeBatch)
                    .arg(ofInstrument));
            stale.addBindValue(version);
            stale.addBindValue(version);
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
                RestoreSession(*image, slot, stale.value(3).toByteArray(),
                               stale.value(5).toByteArray(), stale.value(6).toByteArray());
                batch.push_back({stale.value(0).toLongLong(), stale.value(1).toLongLong(),
                                 stale.value(4).toString(), make(*image, slot)});
            }
        }
        if (batch.empty()) {
            return marked;
        }
        after = batch.back().id;
        if (!StoreTests(db, m_archive.IsServer(), version, batch, marked, m_error)) {
            return -1;
        }
    }
}

bool RegisterRows::ArchiveIntervals(IntervalDays& days) {
    return ReadServiceIntervals(m_archive, 0, days, m_error);
}

bool RegisterRows::Instruments(const std::vector<qint64>& only,
                               std::vector<RegisterInstrument>& out) {
    out.clear();
    QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName(), false));
    query.setForwardOnly(true);
    query.prepare(QString("SELECT i.id, %1, i.serial_number, o.bump_days, o.calibration_days,"
                          " o.warning_days, i.firmware FROM instruments i"
                          " LEFT JOIN service_intervals o"
                          " ON o.scope = i.id AND o.scope <> 0%2 ORDER BY 2, i.id")
                      .arg(InstrumentLabel(),
                           only.empty() ? QString()
                                        : QString(" WHERE i.id IN (%1)").arg(Marks(only.size()))));
    for (qint64 id : only) {
        query.addBindValue(id);
    }
    if (!Run(query, m_error)) {
        return false;
    }
    while (query.next()) {
        RegisterInstrument instrument;
        instrument.id = query.value(0).toLongLong();
        instrument.name = query.value(1).toString();
        instrument.serial = query.value(2).toString();
        instrument.firmware = query.value(6).toString();
        const auto days = [&query](int column) {
            return query.isNull(column) ? std::optional<int>() : query.value(column).toInt();
        };
        instrument.own = {days(3), days(4), days(5)};
        out.push_back(instrument);
    }
    return true;
}

bool RegisterRows::ForEachTested(const std::vector<qint64>& only,
                                 const std::function<void(const TestedSession&)>& take) {
    // In SQLite one walk of an index that holds all of it.
    QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName(), false));
    query.setForwardOnly(true);
    query.prepare(QString("SELECT instrument_id, id, dated, stamp, tests FROM sessions%1"
                          " ORDER BY instrument_id, stamp")
                      .arg(only.empty()
                               ? QString()
                               : QString(" WHERE instrument_id IN (%1)").arg(Marks(only.size()))));
    for (qint64 id : only) {
        query.addBindValue(id);
    }
    if (!Run(query, m_error)) {
        return false;
    }
    while (query.next()) {
        TestedSession session;
        session.instrumentId = query.value(0).toLongLong();
        session.id = query.value(1).toLongLong();
        session.dated = query.value(2).toInt() != 0;
        session.stamp = static_cast<uint32_t>(query.value(3).toLongLong());
        session.packed = query.value(4).toString();
        take(session);
    }
    return true;
}

bool RegisterRows::Tests(const TestQuery& filter, std::vector<KeptTest>& out) {
    out.clear();
    QString where = " WHERE 1 = 1";
    QVariantList values;
    if (!filter.kinds.isEmpty()) {
        where += " AND e.kind IN (" + Marks(filter.kinds.size()) + ")";
        for (const QString& kind : filter.kinds) {
            values << kind;
        }
    }
    if (filter.result) {
        where += " AND e.result = ?";
        values << *filter.result;
    }
    if (filter.fromStamp) {
        where += " AND e.stamp >= ?";
        values << *filter.fromStamp;
    }
    if (filter.beforeStamp) {
        where += " AND e.stamp < ?";
        values << *filter.beforeStamp;
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
    QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName(), false));
    query.setForwardOnly(true);
    query.prepare(QString("SELECT e.id, e.session_id, e.instrument_id, %1, i.serial_number, e.kind,"
                          " e.sensor, e.stamp, e.result, e.reading, e.user_name, e.job"
                          " FROM session_events e JOIN instruments i ON i.id = e.instrument_id"
                          "%2 ORDER BY e.stamp, e.id")
                      .arg(InstrumentLabel(), where));
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    if (!Run(query, m_error)) {
        return false;
    }
    while (query.next()) {
        KeptTest row;
        row.id = query.value(0).toLongLong();
        row.sessionId = query.value(1).toLongLong();
        row.instrumentId = query.value(2).toLongLong();
        row.instrument = query.value(3).toString();
        row.serial = query.value(4).toString();
        row.test.kind = query.value(5).toString();
        row.test.sensor = query.value(6).toInt();
        row.test.stamp = query.value(7).toLongLong();
        row.test.result = query.value(8).toString();
        row.test.reading = query.value(9).toString();
        row.test.user = query.value(10).toString();
        row.test.job = query.value(11).toString();
        out.push_back(row);
    }
    return true;
}

bool RegisterRows::AlarmSessions(qint64 instrument, std::vector<AlarmSession>& out) {
    out.clear();
    QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName(), false));
    query.setForwardOnly(true);
    if (!Run(query,
             "SELECT dated, stamp, alarm_gases FROM sessions WHERE instrument_id = ?"
             " AND alarm_count > 0",
             {instrument}, m_error)) {
        return false;
    }
    while (query.next()) {
        out.push_back({query.value(0).toInt() != 0,
                       static_cast<uint32_t>(query.value(1).toLongLong()),
                       query.value(2).toString().split('\n', Qt::SkipEmptyParts)});
    }
    return true;
}

bool RegisterRows::SessionStarts(const std::vector<int64_t>& ids,
                                 std::vector<SessionStartRow>& out) {
    out.clear();
    std::map<qint64, SessionStartRow> found;
    // A few hundred at a time: one statement each, well within any engine's limit on values.
    constexpr size_t kChunk = 200;
    for (size_t from = 0; from < ids.size(); from += kChunk) {
        const size_t count = std::min(kChunk, ids.size() - from);
        QSqlQuery query(QSqlDatabase::database(m_archive.ConnectionName(), false));
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
                         query.value(2).toString().split('\n'),
                         query.value(3).toString().split('\n')};
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

} // namespace archive
