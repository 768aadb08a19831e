// SessionArchive's writer: downloads, index uploads and sessions stored once each, and the
// summaries made again when the decoders learn more.
#include <QCryptographicHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <memory>

#include "ListingLine.h"
#include "SessionArchiveImpl.h"
#include "archive/ArchiveValues.h"
#include "archive/HistoryChain.h"
#include "archive/NameFiling.h"
#include "archive/SessionCopies.h"
#include "archive/SessionFixed.h"
#include "archive/SessionGrowth.h"
#include "archive/SqlSteps.h"
#include "core/LogImage.h"
#include "orvtime/OrvTime.h"
#include "orvtime/TimeFormat.h"

namespace archive {
namespace {

QString Digest(const QByteArray& sector) {
    return SectorDigest(sector);
}

QString Joined(const QStringList& list) {
    return Text(list.join('\n'));
}

const char kSummaryColumns[] =
    "day, start_time, end_time, mode, jobs, users, alarm_count, alarm_gases, peaks, "
    "calibrations, bumps, gps, summary_version, line_head, line_tail";
constexpr int kSummaryColumnCount = 15;

// "?, ?, ..." for `count` values.
QString Marks(int count) {
    QStringList marks;
    for (int i = 0; i < count; ++i) {
        marks << QStringLiteral("?");
    }
    return marks.join(QLatin1String(", "));
}

void BindSummary(QSqlQuery& query, const SessionSummary& s, const ListingParts& line) {
    query.addBindValue(Text(s.day));
    query.addBindValue(Text(s.startTime));
    query.addBindValue(Text(s.endTime));
    query.addBindValue(Text(s.mode));
    query.addBindValue(Joined(s.jobs));
    query.addBindValue(Joined(s.users));
    query.addBindValue(s.alarmCount);
    query.addBindValue(Joined(s.alarmGases));
    query.addBindValue(Joined(s.peaks));
    query.addBindValue(Joined(s.calibrations));
    query.addBindValue(Joined(s.bumps));
    query.addBindValue(s.gps ? 1 : 0);
    query.addBindValue(SessionSummary::kVersion);
    query.addBindValue(Text(line.head));
    query.addBindValue(Text(line.tail));
}

ListingParts PartsOf(const CapturedSession& s) {
    return MakeListingParts(s.slot, s.dated, ListedTags(s.name, s.summary.alarmCount), s.complete,
                            s.summary);
}

// What a download writes of a session's row, whether it stores it new or replaces an open copy:
// its bytes' name, tags and digest, when and by which download it was seen last, its summary.
const char kSeenColumns[] = "name, alarm, calibration, complete, digest, last_seen, last_download";
constexpr int kSeenColumnCount = 7;

void BindSeen(QSqlQuery& query, const CapturedSession& s, const QString& digest, qint64 now,
              qint64 download) {
    query.addBindValue(Bytes(s.name));
    query.addBindValue(s.alarm ? 1 : 0);
    query.addBindValue(s.calibration ? 1 : 0);
    query.addBindValue(s.complete ? 1 : 0);
    query.addBindValue(digest);
    query.addBindValue(now);
    query.addBindValue(download);
    BindSummary(query, s.summary, PartsOf(s));
}

} // namespace

qint64 SessionArchive::BeginDownload(qint64 instrument, const QString& source) {
    return InsertDownload(instrument, source);
}

qint64 SessionArchive::InsertDownload(qint64 instrument, const QString& source) {
    QSqlQuery query(m_impl->Db());
    query.prepare("INSERT INTO downloads (instrument_id, source, started_at) VALUES (?, ?, ?)"
                  " RETURNING id");
    query.addBindValue(instrument);
    query.addBindValue(source);
    query.addBindValue(Now());
    if (!Run(query, m_error) || !query.next()) {
        return -1;
    }
    return query.value(0).toLongLong();
}

bool SessionArchive::FinishDownload(qint64 download) {
    QSqlQuery query(m_impl->Db());
    query.prepare("UPDATE downloads SET finished_at = ? WHERE id = ?");
    query.addBindValue(Now());
    query.addBindValue(download);
    return Run(query, m_error);
}

namespace {

qint64 InsertIndex(QSqlDatabase& db, qint64 download, const QByteArray& indexBytes,
                   QString& error) {
    QSqlQuery query(db);
    if (!Run(query,
             "INSERT INTO index_uploads (download_id, seen_at, bytes) VALUES (?, ?, ?)"
             " RETURNING id",
             {download, Now(), indexBytes}, error) ||
        !query.next()) {
        return -1;
    }
    const qint64 id = query.value(0).toLongLong();
    query.finish();
    return id;
}

// The download's instrument, and where `describe`, "download 12 of instrument "NAME", serial
// number S (source)" as a history row says what stored its sessions or index (only then: it
// reads columns that an archive opened at an older schema, as the migrations' tests do, may not
// have yet).
bool DescribeDownload(QSqlDatabase& db, bool describe, qint64 download, qint64& instrument,
                      QString& what, QString& error) {
    QSqlQuery owner(db);
    if (!Run(owner, "SELECT instrument_id, source FROM downloads WHERE id = ?", {download},
             error)) {
        return false;
    }
    if (!owner.next()) {
        error = "no download " + QString::number(download) + " in the archive";
        return false;
    }
    instrument = owner.value(0).toLongLong();
    const QString source = owner.value(1).toString();
    // A statement left open holds its read snapshot, and SQLite refuses, without waiting, to
    // let a transaction write from a snapshot that another writer has since moved past.
    owner.finish();
    QString words;
    if (!describe || !DescribeInstrument(db, instrument, words, error)) {
        return !describe;
    }
    what =
        QString("download %1 of instrument %2 (%3)").arg(QString::number(download), words, source);
    return true;
}

} // namespace

bool SessionArchive::RecordIndex(qint64 download, const QByteArray& indexBytes) {
    QSqlDatabase db = m_impl->Db();
    return Transact([&]() {
        const qint64 upload = InsertIndex(db, download, indexBytes, m_error);
        if (upload < 0) {
            return false;
        }
        if (!m_impl->allBytes) {
            return true;
        }
        qint64 instrument = -1;
        QString what;
        return DescribeDownload(db, true, download, instrument, what, m_error) &&
               AppendHistory(db, m_impl->location.server, ChangeKind::Index,
                             "index upload " + QString::number(upload) + " of " + what, {},
                             {upload}, m_error);
    });
}

namespace {

// Why the session cannot be what it claims to be, or empty. One filed under another slot or start
// than its index entry gives would be found under neither; one whose records end before its index
// entry's start holds another session's bytes under this one's name (the instrument's memory was
// read again since its index was), and filed so it would be wrong for good.
QString Impossible(const CapturedSession& s) {
    const QString filing = FilingAgainstName(s.slot, s.stamp, s.dated, s.name);
    if (!filing.isEmpty()) {
        return QString("the session of slot %1 %2: not archived").arg(s.slot).arg(filing);
    }
    if (!s.dated || s.summary.endValue == 0) {
        return QString();
    }
    const int64_t start = COrvTime(s.stamp).Value();
    if (s.summary.endValue >= start) {
        return QString();
    }
    const char* const format = "%Y-%m-%d %H:%M:%S";
    return QString("the session of slot %1 ends before it starts (its index entry says %2, its last"
                   " record %3): not archived")
        .arg(QString::number(s.slot), QString::fromStdString(FormatTime(start, format)),
             QString::fromStdString(FormatTime(s.summary.endValue, format)));
}

} // namespace

QString SectorDigest(const QByteArray& sector) {
    return QString::fromLatin1(
        QCryptographicHash::hash(sector, QCryptographicHash::Sha256).toHex());
}

bool KeepCopy(QSqlDatabase& db, bool keepBytes, const StoredCopy& copy, qint64 download,
              bool conflict, QString& error) {
    QSqlQuery history(db);
    history.prepare(
        !keepBytes ? "INSERT INTO session_history (session_id, digest, first_seen, replaced_at,"
                     " replaced_by) VALUES (?, ?, ?, ?, ?)"
        : conflict ? "INSERT INTO session_history (session_id, digest, first_seen, replaced_at,"
                     " replaced_by, name, sector, overrun, conflict) VALUES (?, ?, ?, ?, ?, ?, ?,"
                     " ?, 1)"
                   : "INSERT INTO session_history (session_id, digest, first_seen, replaced_at,"
                     " replaced_by, name, sector, overrun) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    history.addBindValue(copy.id);
    history.addBindValue(copy.digest);
    history.addBindValue(copy.firstSeen);
    history.addBindValue(Now());
    history.addBindValue(download);
    if (keepBytes) {
        history.addBindValue(Bytes(copy.name));
        history.addBindValue(Bytes(copy.sector));
        history.addBindValue(Bytes(copy.overrun));
    }
    return Run(history, error);
}

StoreResult ReplaceCopy(QSqlDatabase& db, bool keepCopies, const StoredCopy& old,
                        const CapturedSession& s, qint64 download, bool& lost, QString& error) {
    lost = false;
    const QString digest = Digest(s.sector);
    const qint64 now = Now();
    QSqlQuery replace(db);
    replace.prepare(
        // Its register events are made again from the new bytes.
        QString("UPDATE sessions SET (%1, %2) = (%3), events_version = 0"
                " WHERE id = ? AND digest = ?")
            .arg(kSeenColumns, kSummaryColumns, Marks(kSeenColumnCount + kSummaryColumnCount)));
    BindSeen(replace, s, digest, now, download);
    replace.addBindValue(old.id);
    replace.addBindValue(old.digest);
    if (!Run(replace, error)) {
        return StoreResult::Failed;
    }
    if (replace.numRowsAffected() != 1) {
        lost = true;
        return StoreResult::Failed;
    }
    QSqlQuery bytes(db);
    bytes.prepare("UPDATE session_bytes SET (sector, overrun) = (?, ?) WHERE session_id = ?");
    bytes.addBindValue(s.sector);
    bytes.addBindValue(Bytes(s.overrun));
    bytes.addBindValue(old.id);
    if (!Run(bytes, error)) {
        return StoreResult::Failed;
    }
    return KeepCopy(db, keepCopies, old, download, false, error) ? StoreResult::Replaced
                                                                 : StoreResult::Failed;
}

namespace {

// The session already held of the same instrument, slot and stamp, newest first: New when there is
// none. Its bytes are replaced only by bytes that grow them while it is open, as its history last
// stated it (SessionFixed.h); any other bytes are a conflicting copy kept beside it (seen again
// when it keeps them already).
StoreResult StoreBesideHeld(QSqlDatabase& db, qint64 instrument, qint64 download, bool keepCopies,
                            const CapturedSession& s, const QString& digest, qint64& stored,
                            bool& lost, QString& error) {
    lost = false;
    QSqlQuery held(db);
    if (!Run(held,
             "SELECT s.id, s.digest, s.first_seen, s.name, b.sector, b.overrun, s.complete,"
             " (SELECT COUNT(*) FROM session_history h WHERE h.session_id = s.id"
             " AND h.digest = ?) FROM sessions s JOIN session_bytes b ON b.session_id = s.id"
             " WHERE s.instrument_id = ? AND s.slot = ? AND s.stamp = ? ORDER BY s.id DESC",
             {digest, instrument, s.slot, static_cast<qint64>(s.stamp)}, error)) {
        return StoreResult::Failed;
    }
    if (!held.next()) {
        return StoreResult::New;
    }
    StoredCopy old;
    old.id = held.value(0).toLongLong();
    old.digest = held.value(1).toString();
    old.firstSeen = held.value(2).toLongLong();
    // The copy it replaces stays, as the instrument sent it.
    old.name = Bytes(held.value(3).toByteArray());
    old.sector = Bytes(held.value(4).toByteArray());
    old.overrun = Bytes(held.value(5).toByteArray());
    const bool complete = held.value(6).toInt() != 0;
    const bool kept = held.value(7).toLongLong() > 0;
    held.finish();
    stored = old.id;
    // Another writer stored these very bytes since this one looked for them: they are seen.
    if (old.digest == digest) {
        lost = true;
        return StoreResult::Failed;
    }
    if (kept) {
        return StoreResult::Seen;
    }
    if (Grows(old.name, old.sector, s.name, s.sector)) {
        // A schema whose copies keep no bytes states no session's state in its rows (and one
        // before the history has none): its column says.
        bool fixed = complete;
        if (keepCopies && !SessionFixed(db, old.id, complete, fixed, error)) {
            return StoreResult::Failed;
        }
        if (!fixed) {
            return ReplaceCopy(db, keepCopies, old, s, download, lost, error);
        }
    }
    StoredCopy other{old.id, digest, Now(), s.name, s.sector, s.overrun};
    return KeepCopy(db, true, other, download, true, error) ? StoreResult::Conflict
                                                            : StoreResult::Failed;
}

} // namespace

StoreResult StoreSession(QSqlDatabase& db, qint64 instrument, qint64 download, bool keepCopies,
                         const CapturedSession& s, qint64& stored, QString& error) {
    error = Impossible(s);
    if (!error.isEmpty()) {
        return StoreResult::Refused;
    }
    const QString digest = Digest(s.sector);
    const qint64 now = Now();
    // Bounded: every round either finishes or saw another writer change the row it aimed at.
    for (int round = 0; round < 8; ++round) {
        const QVariant stamp = static_cast<qint64>(s.stamp);
        QSqlQuery same(db);
        if (!Run(same,
                 "SELECT id, complete FROM sessions WHERE instrument_id = ? AND slot = ?"
                 " AND stamp = ? AND digest = ?",
                 {instrument, s.slot, stamp, digest}, error)) {
            return StoreResult::Failed;
        }
        if (same.next()) {
            stored = same.value(0).toLongLong();
            // Finished since with no byte added: a row must say so, as verify holds the column
            // to the history's last word on the session.
            const bool finishedNow = s.complete && same.value(1).toInt() == 0;
            same.finish();
            QSqlQuery seen(db);
            return Run(seen,
                       "UPDATE sessions SET last_seen = ?, last_download = ?,"
                       " complete = CASE WHEN ? = 1 THEN 1 ELSE complete END WHERE id = ?",
                       {now, download, s.complete ? 1 : 0, stored}, error)
                       ? (finishedNow ? StoreResult::Finished : StoreResult::Seen)
                       : StoreResult::Failed;
        }
        if (s.dated) {
            bool lost = false;
            const StoreResult result = StoreBesideHeld(db, instrument, download, keepCopies, s,
                                                       digest, stored, lost, error);
            if (lost) {
                continue; // another writer replaced it first: look again
            }
            if (result != StoreResult::New) {
                return result;
            }
        }
        QSqlQuery insert(db);
        insert.prepare(QString("INSERT INTO sessions (instrument_id, slot, stamp, dated,"
                               " first_seen, first_download, %1, %2)"
                               " VALUES (%3)"
                               " ON CONFLICT (instrument_id, slot, stamp, digest) DO NOTHING"
                               " RETURNING id")
                           .arg(kSeenColumns, kSummaryColumns,
                                Marks(6 + kSeenColumnCount + kSummaryColumnCount)));
        insert.addBindValue(instrument);
        insert.addBindValue(s.slot);
        insert.addBindValue(static_cast<qint64>(s.stamp));
        insert.addBindValue(s.dated ? 1 : 0);
        insert.addBindValue(now);
        insert.addBindValue(download);
        BindSeen(insert, s, digest, now, download);
        if (!Run(insert, error)) {
            return StoreResult::Failed;
        }
        if (insert.next()) {
            const qint64 id = insert.value(0).toLongLong();
            insert.finish();
            QSqlQuery bytes(db);
            bytes.prepare(
                "INSERT INTO session_bytes (session_id, sector, overrun) VALUES (?, ?, ?)");
            bytes.addBindValue(id);
            bytes.addBindValue(s.sector);
            bytes.addBindValue(Bytes(s.overrun));
            stored = id;
            return Run(bytes, error) ? StoreResult::New : StoreResult::Failed;
        }
        // Another writer stored the same bytes first: it is then seen, on the next round.
    }
    error = "the session of slot " + QString::number(s.slot) + " kept changing under this writer";
    return StoreResult::Failed;
}

NewSessions::NewSessions(QSqlDatabase& db) : m_db(db) {}

bool NewSessions::Insert(qint64 instrument, qint64 download, const CapturedSession& s,
                         qint64 firstSeen, qint64& stored, QString& error) {
    stored = -1;
    error = Impossible(s);
    if (!error.isEmpty()) {
        return false;
    }
    if (!m_session) {
        m_session.reset(new QSqlQuery(m_db));
        m_bytes.reset(new QSqlQuery(m_db));
        if (!m_session->prepare(QString("INSERT INTO sessions (instrument_id, slot, stamp, dated,"
                                        " first_seen, first_download, %1, %2)"
                                        " VALUES (%3)"
                                        " ON CONFLICT (instrument_id, slot, stamp, digest)"
                                        " DO NOTHING RETURNING id")
                                    .arg(kSeenColumns, kSummaryColumns,
                                         Marks(6 + kSeenColumnCount + kSummaryColumnCount))) ||
            !m_bytes->prepare(
                "INSERT INTO session_bytes (session_id, sector, overrun) VALUES (?, ?, ?)")) {
            error = "cannot prepare the statements that store new sessions";
            m_session.reset();
            return false;
        }
    }
    const qint64 now = Now();
    QSqlQuery& insert = *m_session;
    insert.addBindValue(instrument);
    insert.addBindValue(s.slot);
    insert.addBindValue(static_cast<qint64>(s.stamp));
    insert.addBindValue(s.dated ? 1 : 0);
    insert.addBindValue(firstSeen > 0 && firstSeen < now ? firstSeen : now);
    insert.addBindValue(download);
    BindSeen(insert, s, Digest(s.sector), now, download);
    if (!Run(insert, error)) {
        return false;
    }
    if (!insert.next()) {
        return true;
    }
    stored = insert.value(0).toLongLong();
    insert.finish();
    QSqlQuery& bytes = *m_bytes;
    bytes.addBindValue(stored);
    bytes.addBindValue(s.sector);
    bytes.addBindValue(Bytes(s.overrun));
    return Run(bytes, error);
}

namespace {

// The sessions one transaction stored new or replaced, for its history rows.
struct StoredIds {
    QVector<qint64> added;
    QVector<qint64> replaced;
    QVector<qint64> conflicted;        // sessions that got a conflicting copy
    QVector<HistorySession> conflicts; // those copies
    QVector<qint64> index;             // an import's index upload
    QVector<qint64> finished;          // held already, finished since
};

void Count(StoreResult result, qint64 stored, const CapturedSession& s, QString& error,
           StoreCounts& counts, StoredIds& ids) {
    if (result == StoreResult::New) {
        ids.added.append(stored);
    } else if (result == StoreResult::Replaced) {
        ids.replaced.append(stored);
    } else if (result == StoreResult::Finished) {
        ids.finished.append(stored);
    } else if (result == StoreResult::Conflict) {
        ids.conflicted.append(stored);
        ids.conflicts.append(
            {stored, StoredBytesHash(s.name, s.sector, s.overrun), SessionState::Copy, QString()});
    }
    counts.added += result == StoreResult::New ? 1 : 0;
    counts.seen += result == StoreResult::Seen || result == StoreResult::Finished ? 1 : 0;
    counts.replaced += result == StoreResult::Replaced ? 1 : 0;
    counts.conflicting += result == StoreResult::Conflict ? 1 : 0;
    if (result == StoreResult::Refused) {
        ++counts.refused;
        counts.refusals << error;
        error.clear();
    }
}

QString SessionsCounted(int count, const char* which) {
    return QString::number(count) + ' ' + which + (count == 1 ? " session" : " sessions");
}

// The history rows of what one download or import stored: the new sessions under its own kind
// (an import's row even when it stored nothing new, as the import itself is a change), the
// replaced ones under a row of their own.
bool RecordStored(QSqlDatabase& db, bool server, bool history, ChangeKind kind, const QString& what,
                  const StoredIds& ids, QString& error) {
    if (!history) {
        return true;
    }
    if ((kind == ChangeKind::Import || !ids.added.isEmpty()) &&
        !AppendHistory(db, server, kind, what + ": " + SessionsCounted(ids.added.size(), "new"),
                       ids.added, ids.index, error)) {
        return false;
    }
    if (!ids.replaced.isEmpty() &&
        !AppendHistory(db, server, ChangeKind::Replace,
                       what + ": " + SessionsCounted(ids.replaced.size(), "open") +
                           " replaced with newer bytes",
                       ids.replaced, error)) {
        return false;
    }
    if (!ids.finished.isEmpty() &&
        !AppendHistory(db, server, kind,
                       what + ": " + SessionsCounted(ids.finished.size(), "open") +
                           " seen again, finished since",
                       ids.finished, error)) {
        return false;
    }
    // Each conflicting copy is named before the bytes its session keeps, as a sync names them.
    QVector<HistorySession> named = ids.conflicts;
    QVector<HistorySession> kept;
    if (ids.conflicts.isEmpty() || !RecordedNow(db, ids.conflicted, kept, error)) {
        return ids.conflicts.isEmpty();
    }
    named += kept;
    const int count = ids.conflicts.size();
    return AppendRecorded(
        db, server, kind,
        QString("%1: %2 conflicting %3 kept beside the %4 already archived,"
                " whose bytes they neither grow nor match")
            .arg(what)
            .arg(count)
            .arg(count == 1 ? "copy" : "copies", count == 1 ? "session" : "sessions"),
        named, {}, error);
}

} // namespace

StoreResult SessionArchive::Store(qint64 download, const CapturedSession& session) {
    StoreCounts counts;
    if (!StoreAll(download, std::vector<CapturedSession>{session}, counts)) {
        return StoreResult::Failed;
    }
    if (counts.refused != 0) {
        m_error = counts.refusals.first();
        return StoreResult::Refused;
    }
    return counts.added      ? StoreResult::New
           : counts.replaced ? StoreResult::Replaced
                             : StoreResult::Seen;
}

bool SessionArchive::StoreAll(qint64 download, const std::vector<CapturedSession>& sessions,
                              StoreCounts& counts) {
    QSqlDatabase db = m_impl->Db();
    qint64 instrument = -1;
    QString what;
    if (!DescribeDownload(db, m_impl->history, download, instrument, what, m_error)) {
        return false;
    }
    return Transact([&]() {
        counts = StoreCounts();
        StoredIds ids;
        for (const CapturedSession& session : sessions) {
            qint64 stored = -1;
            const StoreResult result =
                StoreSession(db, instrument, download, m_impl->allBytes, session, stored, m_error);
            if (result == StoreResult::Failed) {
                return false;
            }
            Count(result, stored, session, m_error, counts, ids);
        }
        return RecordStored(db, m_impl->location.server, m_impl->history, ChangeKind::Download,
                            what, ids, m_error);
    });
}

qint64 SessionArchive::ImportDump(qint64 instrument, const QString& source,
                                  const QByteArray& indexBytes,
                                  const std::vector<CapturedSession>& sessions,
                                  StoreCounts& counts) {
    QSqlDatabase db = m_impl->Db();
    qint64 download = -1;
    const bool done = Transact([&]() {
        counts = StoreCounts();
        download = InsertDownload(instrument, source);
        QString what;
        StoredIds ids;
        const qint64 upload = download < 0 ? -1 : InsertIndex(db, download, indexBytes, m_error);
        if (upload < 0 ||
            !DescribeDownload(db, m_impl->history, download, instrument, what, m_error)) {
            return false;
        }
        if (m_impl->allBytes) {
            ids.index.append(upload);
        }
        for (const CapturedSession& session : sessions) {
            qint64 stored = -1;
            const StoreResult result =
                StoreSession(db, instrument, download, m_impl->allBytes, session, stored, m_error);
            if (result == StoreResult::Failed) {
                return false;
            }
            Count(result, stored, session, m_error, counts, ids);
        }
        return FinishDownload(download) &&
               RecordStored(db, m_impl->location.server, m_impl->history, ChangeKind::Import, what,
                            ids, m_error);
    });
    return done ? download : -1;
}

int SessionArchive::RefreshSummaries() {
    QSqlDatabase db = m_impl->Db();
    QSqlQuery stale(db);
    stale.setForwardOnly(true);
    stale.prepare("SELECT s.id, s.slot, s.stamp, s.dated, s.name, b.sector, b.overrun, s.complete"
                  " FROM sessions s JOIN session_bytes b ON b.session_id = s.id"
                  " WHERE s.summary_version < ?");
    stale.addBindValue(SessionSummary::kVersion);
    if (!Run(stale, m_error)) {
        return -1;
    }
    struct Pending {
        qint64 id;
        SessionSummary summary;
        ListingParts line;
    };
    std::vector<Pending> pending;
    std::unique_ptr<LogImage> image;
    while (stale.next()) {
        if (!image) {
            image.reset(new LogImage);
        }
        const int16_t slot = static_cast<int16_t>(stale.value(1).toInt());
        RestoreSession(*image, slot, stale.value(4).toByteArray(), stale.value(5).toByteArray(),
                       stale.value(6).toByteArray());
        const bool dated = stale.value(3).toInt() != 0;
        Pending p{stale.value(0).toLongLong(),
                  SummariseSession(*image, slot, static_cast<uint32_t>(stale.value(2).toLongLong()),
                                   dated),
                  {}};
        p.line = MakeListingParts(slot, dated,
                                  ListedTags(stale.value(4).toByteArray(), p.summary.alarmCount),
                                  stale.value(7).toInt() != 0, p.summary);
        pending.push_back(std::move(p));
    }
    stale.finish();
    if (pending.empty()) {
        return 0;
    }
    // Prepared before the transaction, and so freed after it is rolled back: a server will not
    // free a statement inside a transaction that failed, and says so on standard error.
    QSqlQuery update(db);
    if (!update.prepare(QString("UPDATE sessions SET (%1) = (%2) WHERE id = ?")
                            .arg(kSummaryColumns, Marks(kSummaryColumnCount)))) {
        m_error = DatabaseSaid(update.lastError());
        return -1;
    }
    SqlTransaction transaction(db, m_impl->location.server);
    if (!transaction.Begun(m_error)) {
        return -1;
    }
    for (const Pending& p : pending) {
        BindSummary(update, p.summary, p.line);
        update.addBindValue(p.id);
        if (!Run(update, m_error)) {
            return -1;
        }
    }
    return transaction.Commit(m_error) ? static_cast<int>(pending.size()) : -1;
}

} // namespace archive
