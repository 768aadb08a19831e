// Syncing one archive into another: its sessions in batches, each compared with the copies this
// archive holds; its history kept as its own chain; a row on each side naming the other.
#include "archive/ArchiveSync.h"

#include <QHash>
#include <QLocale>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <memory>
#include <vector>

#include "SourceChains.h"
#include "SyncChains.h"
#include "SyncInstruments.h"
#include "archive/ArchiveHistory.h"
#include "archive/ArchiveValues.h"
#include "archive/ChainRecords.h"
#include "archive/HistoryChain.h"
#include "archive/NameFiling.h"
#include "archive/RecordedHeads.h"
#include "archive/Schema.h"
#include "archive/SessionArchive.h"
#include "archive/SessionCopies.h"
#include "archive/SessionFixed.h"
#include "archive/SessionGrowth.h"
#include "archive/SessionWords.h"
#include "archive/SqlSteps.h"
#include "core/LogImage.h"

namespace archive {
namespace {

QString Counted(qint64 count, const char* one, const char* many) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(count) + ' ' +
           (count == 1 ? one : many);
}

QSqlDatabase DbOf(SessionArchive& archive) {
    return QSqlDatabase::database(archive.ConnectionName(), false);
}

// What a renamed instrument carries of its archive: its short name (the file's name without its
// extension, or the server's database). Every van may keep the default file (archive.sqlite): that
// name says nothing, and the archive is named after who writes it instead, the user and host of its
// newest signed row (kept where it has none).
bool LabelOf(SessionArchive& archive, QString& label, QString& error) {
    label = archive.ShortName();
    if (label != "archive") {
        return true;
    }
    QSqlDatabase db = DbOf(archive);
    QSqlQuery query(db);
    if (!Run(query,
             "SELECT os_user, host FROM archive_history WHERE signer <> '' ORDER BY seq DESC"
             " LIMIT 1",
             {}, error)) {
        return false;
    }
    if (query.next() && !query.value(0).toString().isEmpty()) {
        label = query.value(0).toString() + '@' + query.value(1).toString();
    }
    return true;
}

// A session of the source, with the copies it replaced and kept. Its bytes are read only when the
// target does not hold it already (LoadBytes).
struct SourceSession {
    qint64 instrument = 0;
    CapturedSession session;
    qint64 slot = 0; // its slot and stamp columns as stored, before they are narrowed
    qint64 stamp = 0;
    StoredCopy stored; // its own row's bytes (id: the source's)
    qint64 lastSeen = 0;
    bool loaded = false;
    struct Copy {
        StoredCopy bytes;
        bool conflict = false;
    };
    std::vector<Copy> copies;
};

bool ReadBatch(QSqlDatabase& db, qint64 after, int limit, std::vector<SourceSession>& out,
               QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             "SELECT s.id, s.instrument_id, s.slot, s.stamp, s.dated, s.alarm, s.calibration,"
             " s.complete, s.digest, s.name, s.first_seen, s.last_seen"
             " FROM sessions s WHERE s.id > ? ORDER BY s.id LIMIT " +
                 QString::number(limit),
             {after}, error)) {
        return false;
    }
    QHash<qint64, size_t> at;
    while (query.next()) {
        SourceSession s;
        s.stored.id = query.value(0).toLongLong();
        s.instrument = query.value(1).toLongLong();
        CapturedSession& c = s.session;
        s.slot = query.value(2).toLongLong();
        s.stamp = query.value(3).toLongLong();
        c.slot = static_cast<int16_t>(s.slot);
        c.stamp = static_cast<uint32_t>(s.stamp);
        c.dated = query.value(4).toInt() != 0;
        c.alarm = query.value(5).toInt() != 0;
        c.calibration = query.value(6).toInt() != 0;
        c.complete = query.value(7).toInt() != 0;
        s.stored.digest = query.value(8).toString();
        c.name = Bytes(query.value(9).toByteArray());
        s.stored.name = c.name;
        s.stored.firstSeen = query.value(10).toLongLong();
        s.lastSeen = query.value(11).toLongLong();
        at.insert(s.stored.id, out.size());
        out.push_back(std::move(s));
    }
    query.finish();
    if (out.empty()) {
        return true;
    }
    // The copies of the whole batch in one read: few sessions have any.
    QSqlQuery copies(db);
    copies.setForwardOnly(true);
    if (!Run(copies,
             "SELECT session_id, digest, first_seen, name, sector, overrun, conflict FROM"
             " session_history WHERE session_id > ? AND session_id <= ? AND sector IS NOT NULL"
             " ORDER BY id",
             {after, out.back().stored.id}, error)) {
        return false;
    }
    while (copies.next()) {
        const auto found = at.constFind(copies.value(0).toLongLong());
        if (found == at.constEnd()) {
            continue;
        }
        SourceSession::Copy copy;
        copy.bytes.digest = copies.value(1).toString();
        copy.bytes.firstSeen = copies.value(2).toLongLong();
        copy.bytes.name = Bytes(copies.value(3).toByteArray());
        copy.bytes.sector = Bytes(copies.value(4).toByteArray());
        copy.bytes.overrun = Bytes(copies.value(5).toByteArray());
        copy.conflict = copies.value(6).toInt() != 0;
        out[found.value()].copies.push_back(std::move(copy));
    }
    return true;
}

// The bytes of a session the target lacks, with its digest read again beside them: a download
// into the source since the batch was read may have replaced them by their grown copy.
bool LoadBytes(QSqlDatabase& db, SourceSession& s, QString& error) {
    if (s.loaded) {
        return true;
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             "SELECT s.digest, s.name, b.sector, b.overrun, s.complete FROM sessions s"
             " JOIN session_bytes b ON b.session_id = s.id WHERE s.id = ?",
             {s.stored.id}, error)) {
        return false;
    }
    if (!query.next()) {
        error = "session " + QString::number(s.stored.id) + " of the source has no stored bytes";
        return false;
    }
    CapturedSession& c = s.session;
    s.stored.digest = query.value(0).toString();
    c.name = Bytes(query.value(1).toByteArray());
    c.sector = Bytes(query.value(2).toByteArray());
    c.overrun = Bytes(query.value(3).toByteArray());
    c.complete = query.value(4).toInt() != 0;
    s.stored.name = c.name;
    s.stored.sector = c.sector;
    s.stored.overrun = c.overrun;
    s.loaded = true;
    return true;
}

// What the target holds of a batch's sessions, read once for the batch: by instrument, slot and
// stamp, the sessions there with their digests and those of the copies they kept. A key the batch
// has written to since is asked of the target again.
class HeldSessions {
public:
    struct Held {
        qint64 id = 0;
        QString digest;
        QVector<QString> copies;
    };
    static QString Key(qint64 instrument, int slot, uint32_t stamp) {
        return QString("%1:%2:%3").arg(instrument).arg(slot).arg(stamp);
    }
    bool Read(QSqlDatabase& db, const QSet<QString>& keys, QString& error);
    // False when the key was written to since, and the target must be asked.
    bool Known(const QString& key) const { return m_read && !m_written.contains(key); }
    const QVector<Held> Of(const QString& key) const { return m_held.value(key); }
    void Written(const QString& key) { m_written.insert(key); }

private:
    QHash<QString, QVector<Held>> m_held;
    QSet<QString> m_written;
    bool m_read = false;
};

bool HeldSessions::Read(QSqlDatabase& db, const QSet<QString>& keys, QString& error) {
    if (keys.isEmpty()) {
        m_read = true;
        return true;
    }
    // The keys are numbers of this program's own making: written into the statement, which then
    // needs no limit on how many values it binds.
    QStringList rows;
    for (const QString& key : keys) {
        rows << "(" + QString(key).replace(':', ", ") + ")";
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             "WITH k (i, sl, st) AS (VALUES " + rows.join(", ") +
                 ") SELECT s.id, s.instrument_id, s.slot, s.stamp, s.digest FROM sessions s"
                 " JOIN k ON s.instrument_id = k.i AND s.slot = k.sl AND s.stamp = k.st"
                 " ORDER BY s.id",
             {}, error)) {
        return false;
    }
    QHash<qint64, QString> keyOf;
    QStringList ids;
    while (query.next()) {
        const QString key = Key(query.value(1).toLongLong(), query.value(2).toInt(),
                                static_cast<uint32_t>(query.value(3).toLongLong()));
        const qint64 id = query.value(0).toLongLong();
        m_held[key].append({id, query.value(4).toString(), {}});
        keyOf.insert(id, key);
        ids << QString::number(id);
    }
    query.finish();
    if (!ids.isEmpty()) {
        QSqlQuery copies(db);
        copies.setForwardOnly(true);
        if (!Run(copies,
                 "SELECT session_id, digest FROM session_history WHERE session_id IN (" +
                     ids.join(", ") + ")",
                 {}, error)) {
            return false;
        }
        while (copies.next()) {
            const qint64 id = copies.value(0).toLongLong();
            for (Held& h : m_held[keyOf.value(id)]) {
                if (h.id == id) {
                    h.copies.append(copies.value(1).toString());
                }
            }
        }
    }
    m_read = true;
    return true;
}

// What the source's own history recorded of its sessions, up to its head when the sync began: a
// session is taken only with the bytes that history recorded for it, as the source's verify
// checks them, so that bytes changed in the source outside this program never pass into the
// target as the source's. Read at the first session to take.
class SourceRecords {
public:
    SourceRecords(QSqlDatabase& db, const SyncParty& source, qint64 head)
        : m_db(db), m_source(source), m_head(head) {}

    enum class Verdict {
        Take,
        Refuse, // the bytes are not what the source's history recorded: `said` says so
        Later,  // stored in the source after the sync began: for the next sync
    };
    // The session `s` (its own row's bytes), or with `copy` one of the copies it kept.
    bool Check(const SourceSession& s, const StoredCopy* copy, Verdict& verdict, QString& said,
               QString& error);
    // Whether the source's history fixed the bytes of `s`, once checked: what its rows last stated
    // of it, not its `complete` column, which no hash covers.
    bool Fixed(const SourceSession& s) const {
        const ChainRecords::Last* last = m_records.LastOf(s.stored.id);
        return FixedBy(last != nullptr ? last->state : SessionState::Unstated, s.session.complete);
    }

private:
    bool Grown(bool& grown, QString& error);
    // Why the session may not be taken as its source files it: under another instrument than
    // the source's history last named for it (empty: it may).
    bool MovedFrom(const SourceSession& s, QString& moved, QString& error);

    QSqlDatabase& m_db;
    const SyncParty& m_source;
    qint64 m_head;
    ChainRecords m_records;
    bool m_read = false;
    QHash<qint64, QString> m_uids; // the source's instruments' identities, as asked
};

bool SourceRecords::MovedFrom(const SourceSession& s, QString& moved, QString& error) {
    const ChainRecords::Last* last = m_records.LastOf(s.stored.id);
    if (last == nullptr || last->instrument.isEmpty()) {
        return true;
    }
    auto uid = m_uids.constFind(s.instrument);
    if (uid == m_uids.constEnd()) {
        QSqlQuery query(m_db);
        if (!Run(query, "SELECT uid FROM instruments WHERE id = ?", {s.instrument}, error)) {
            return false;
        }
        uid = m_uids.insert(s.instrument, query.next() ? query.value(0).toString() : QString());
    }
    if (uid.value() != last->instrument) {
        moved = QString("is filed under another instrument than its history row %1 recorded (%2)")
                    .arg(last->instrumentRow)
                    .arg(last->instrument);
    }
    return true;
}

bool SourceRecords::Grown(bool& grown, QString& error) {
    qint64 seq = 0;
    QString hash;
    if (!HistoryHead(m_db, seq, hash, error)) {
        return false;
    }
    grown = seq > m_head;
    return true;
}

bool SourceRecords::Check(const SourceSession& s, const StoredCopy* copy, Verdict& verdict,
                          QString& said, QString& error) {
    if (!m_read) {
        m_read = ReadChainRows(
            m_db, QString(), false, m_head,
            [this](const HistoryRow& row, const RowReading&) { m_records.Add(row); }, error);
        if (!m_read) {
            return false;
        }
    }
    const qint64 id = s.stored.id;
    QString now;
    Recorded recorded;
    BytesCheck check = BytesCheck::Matches;
    if (copy != nullptr) {
        check = CopyRecorded(m_records, id, copy->name, copy->sector, copy->overrun, now)
                    ? BytesCheck::Matches
                    : BytesCheck::Unrecorded;
    } else {
        check = CheckStoredBytes(m_records, id, s.stored.name, s.stored.sector, s.stored.overrun,
                                 now, recorded);
    }
    verdict = Verdict::Take;
    QString moved;
    if (check == BytesCheck::Matches && copy == nullptr && !MovedFrom(s, moved, error)) {
        return false;
    }
    if (check == BytesCheck::Matches && moved.isEmpty()) {
        return true;
    }
    bool grown = false;
    if (!Grown(grown, error)) {
        return false;
    }
    if (grown) {
        verdict = Verdict::Later;
        return true;
    }
    verdict = Verdict::Refuse;
    QString words;
    if (!DescribeSession(m_db, id, words, error)) {
        return false;
    }
    const QString what =
        (copy != nullptr ? "a copy kept by " : "") + words + " of " + m_source.Words();
    const QString how =
        !moved.isEmpty() ? moved
        : check == BytesCheck::Differs
            ? QString("does not match its history row %1").arg(recorded.row)
            : QString(copy != nullptr ? "is not one its history recorded for that session"
                                      : "is in no row of its history");
    said = QString("%1 %2: not taken; `archive verify --archive %3` there says more")
               .arg(what, how, m_source.where);
    return true;
}

// One batch's transaction on the target: the sessions it took, and what its history row records.
class Batch {
public:
    Batch(QSqlDatabase& db, QSqlDatabase& sourceDb, const SyncParty& source, SourceRecords& records,
          const QHash<qint64, qint64>& instruments, SyncSummary& summary)
        : m_db(db), m_sourceDb(sourceDb), m_source(source), m_records(records),
          m_instruments(instruments), m_summary(summary) {}

    // What the target holds of these sessions, read at once.
    bool Preload(const std::vector<SourceSession>& sessions, QString& error);
    bool Take(SourceSession& s, QString& error);
    // The batch's history row: every session it touched, each copy it kept before the bytes the
    // session holds now. Nothing when it took nothing.
    bool Record(bool server, const QString& sourceHead, QString& error);

private:
    bool Download(qint64 instrument, qint64& download, QString& error);
    bool Holds(qint64 instrument, const CapturedSession& c, const QString& digest, qint64& session,
               QString& error);
    bool StoreNew(qint64 instrument, SourceSession& s, bool alone, qint64& session, QString& error);
    bool Compare(qint64 instrument, SourceSession& s, qint64& session, QString& error);
    bool KeepBeside(qint64 instrument, qint64 session, const StoredCopy& bytes, bool conflict,
                    QString& error);
    // False, with `taken` false, for bytes the source's history does not vouch for: said, and
    // counted against the sync.
    bool Vouched(const SourceSession& s, const StoredCopy* copy, bool& taken, QString& error);
    // Whether the source files the session otherwise than its index entry says (its slot or stamp
    // column edited there): said, and counted against the sync.
    bool Misfiled(const SourceSession& s, bool& misfiled, QString& error);
    // `now`: the bytes the session holds now, where known without reading them.
    void Touched(qint64 session, const StoredCopy* copy, const CapturedSession* now = nullptr);

    QSqlDatabase& m_db;
    QSqlDatabase& m_sourceDb;
    HeldSessions m_held;
    NewSessions m_fresh{m_db};
    QHash<qint64, HistorySession> m_nowHash;
    const SyncParty& m_source;
    SourceRecords& m_records;
    const QHash<qint64, qint64>& m_instruments;
    SyncSummary& m_summary;
    QHash<qint64, qint64> m_downloads; // per instrument
    std::unique_ptr<LogImage> m_image;
    QVector<qint64> m_touched;
    QHash<qint64, QVector<HistorySession>> m_copies;
    int m_new = 0;
    int m_grown = 0;
    int m_conflicts = 0;
    int m_copiesTaken = 0;
};

bool Batch::Download(qint64 instrument, qint64& download, QString& error) {
    download = m_downloads.value(instrument, -1);
    if (download >= 0) {
        return true;
    }
    QSqlQuery insert(m_db);
    const qint64 now = Now();
    if (!Run(insert,
             "INSERT INTO downloads (instrument_id, source, started_at, finished_at)"
             " VALUES (?, ?, ?, ?) RETURNING id",
             {instrument, SyncDownloadSource(m_source.Words()), now, now}, error) ||
        !insert.next()) {
        return false;
    }
    download = insert.value(0).toLongLong();
    insert.finish();
    m_downloads.insert(instrument, download);
    return true;
}

bool Batch::Preload(const std::vector<SourceSession>& sessions, QString& error) {
    QSet<QString> keys;
    for (const SourceSession& s : sessions) {
        const qint64 instrument = m_instruments.value(s.instrument, -1);
        if (instrument >= 0) {
            keys.insert(HeldSessions::Key(instrument, s.session.slot, s.session.stamp));
        }
    }
    return m_held.Read(m_db, keys, error);
}

// The session here that holds these bytes, as the session or as a copy it kept; -1 for none.
bool Batch::Holds(qint64 instrument, const CapturedSession& c, const QString& digest,
                  qint64& session, QString& error) {
    const QString key = HeldSessions::Key(instrument, c.slot, c.stamp);
    if (m_held.Known(key)) {
        session = -1;
        for (const HeldSessions::Held& h : m_held.Of(key)) {
            if (h.digest == digest || h.copies.contains(digest)) {
                session = h.id;
                break;
            }
        }
        return true;
    }
    const QVariant stamp = static_cast<qint64>(c.stamp);
    QSqlQuery query(m_db);
    if (!Run(query,
             "SELECT s.id FROM sessions s WHERE s.instrument_id = ? AND s.slot = ? AND s.stamp = ?"
             " AND (s.digest = ? OR EXISTS (SELECT 1 FROM session_history h WHERE"
             " h.session_id = s.id AND h.digest = ?)) ORDER BY s.id",
             {instrument, c.slot, stamp, digest, digest}, error)) {
        return false;
    }
    session = query.next() ? query.value(0).toLongLong() : -1;
    query.finish();
    return true;
}

void Batch::Touched(qint64 session, const StoredCopy* copy, const CapturedSession* now) {
    if (!m_touched.contains(session)) {
        m_touched.append(session);
    }
    if (now != nullptr) {
        m_nowHash.insert(session, {session, StoredBytesHash(now->name, now->sector, now->overrun),
                                   StateOfComplete(now->complete), QString()});
    }
    if (copy != nullptr) {
        m_copies[session].append({session, StoredBytesHash(copy->name, copy->sector, copy->overrun),
                                  SessionState::Copy, QString()});
    }
}

bool Batch::StoreNew(qint64 instrument, SourceSession& s, bool alone, qint64& session,
                     QString& error) {
    CapturedSession& c = s.session;
    if (!m_image) {
        m_image.reset(new LogImage);
    }
    RestoreSession(*m_image, c.slot, c.name, c.sector, c.overrun);
    c.summary = SummariseSession(*m_image, c.slot, c.stamp, c.dated);
    qint64 download = -1;
    if (!Download(instrument, download, error)) {
        return false;
    }
    const QString failed = "session " + QString::number(s.stored.id) + " of " + m_source.Words() +
                           " cannot be stored: ";
    session = -1;
    // Nothing of its instrument, slot and stamp here when the batch began: a plain insert.
    if (alone && !m_fresh.Insert(instrument, download, c, s.stored.firstSeen, session, error)) {
        error = failed + error;
        return false;
    }
    if (session < 0) {
        const StoreResult result =
            StoreSession(m_db, instrument, download, true, c, session, error);
        if (result == StoreResult::Failed || result == StoreResult::Refused) {
            error = failed + error;
            return false;
        }
        // Another writer stored other bytes of it since the batch looked: they stay the
        // session's, and these were kept beside them.
        if (result == StoreResult::Conflict) {
            Touched(session, &s.stored);
            ++m_conflicts;
            return true;
        }
        // When it was first seen anywhere.
        QSqlQuery seen(m_db);
        if (!Run(seen, "UPDATE sessions SET first_seen = ? WHERE id = ? AND first_seen > ?",
                 {s.stored.firstSeen, session, s.stored.firstSeen}, error)) {
            return false;
        }
    }
    Touched(session, nullptr, &c);
    ++m_new;
    return true;
}

bool Batch::KeepBeside(qint64 instrument, qint64 session, const StoredCopy& bytes, bool conflict,
                       QString& error) {
    qint64 download = -1;
    StoredCopy copy = bytes;
    copy.id = session;
    if (!Download(instrument, download, error) ||
        !KeepCopy(m_db, true, copy, download, conflict, error)) {
        return false;
    }
    Touched(session, &copy);
    return true;
}

// A dated session here of the same instrument, slot and stamp with other bytes: the grown one is
// the session, the other its replaced copy; two that neither extends are both kept.
bool Batch::Compare(qint64 instrument, SourceSession& s, qint64& session, QString& error) {
    std::vector<StoredCopy> held;
    std::vector<bool> complete; // their columns
    {
        QSqlQuery query(m_db);
        if (!Run(query,
                 "SELECT s.id, s.digest, s.first_seen, s.name, b.sector, b.overrun, s.complete"
                 " FROM sessions s JOIN session_bytes b ON b.session_id = s.id"
                 " WHERE s.instrument_id = ? AND s.slot = ? AND s.stamp = ? ORDER BY s.id",
                 {instrument, s.session.slot, static_cast<qint64>(s.session.stamp)}, error)) {
            return false;
        }
        while (query.next()) {
            held.push_back({query.value(0).toLongLong(), query.value(1).toString(),
                            query.value(2).toLongLong(), Bytes(query.value(3).toByteArray()),
                            Bytes(query.value(4).toByteArray()),
                            Bytes(query.value(5).toByteArray())});
            complete.push_back(query.value(6).toInt() != 0);
        }
    }
    if (held.empty()) {
        session = -1;
        return true;
    }
    for (size_t i = 0; i < held.size(); ++i) {
        const StoredCopy& h = held[i];
        // A finished session's bytes never change: longer ones are not its growth.
        const bool grows = Grows(h.name, h.sector, s.session.name, s.session.sector);
        bool fixed = complete[i];
        if (grows && !SessionFixed(m_db, h.id, complete[i], fixed, error)) {
            return false;
        }
        if (grows && !fixed) {
            CapturedSession& c = s.session;
            if (!m_image) {
                m_image.reset(new LogImage);
            }
            RestoreSession(*m_image, c.slot, c.name, c.sector, c.overrun);
            c.summary = SummariseSession(*m_image, c.slot, c.stamp, c.dated);
            qint64 download = -1;
            bool lost = false;
            if (!Download(instrument, download, error) ||
                ReplaceCopy(m_db, true, h, c, download, lost, error) != StoreResult::Replaced) {
                error =
                    lost ? "session " + QString::number(h.id) + " changed during the sync" : error;
                return false;
            }
            session = h.id;
            Touched(session, nullptr, &c);
            ++m_grown;
            return true;
        }
        if (!s.session.complete && Grows(s.session.name, s.session.sector, h.name, h.sector)) {
            session = h.id;
            ++m_grown;
            return KeepBeside(instrument, session, s.stored, false, error);
        }
    }
    session = held.front().id;
    ++m_conflicts;
    QString words;
    if (!DescribeSession(m_db, session, words, error)) {
        return false;
    }
    m_summary.conflictLines << QString("%1: %2 holds other bytes for it, which neither extend nor"
                                       " are extended by these: kept beside it as a conflicting"
                                       " copy")
                                   .arg(words, m_source.Words());
    return KeepBeside(instrument, session, s.stored, true, error);
}

bool Batch::Vouched(const SourceSession& s, const StoredCopy* copy, bool& taken, QString& error) {
    SourceRecords::Verdict verdict = SourceRecords::Verdict::Take;
    QString said;
    if (!m_records.Check(s, copy, verdict, said, error)) {
        return false;
    }
    taken = verdict == SourceRecords::Verdict::Take;
    if (verdict == SourceRecords::Verdict::Refuse) {
        ++m_summary.refused;
        m_summary.refusedLines << said;
    }
    return true;
}

bool Batch::Misfiled(const SourceSession& s, bool& misfiled, QString& error) {
    const QString filing = FilingAgainstName(s.slot, s.stamp, s.session.dated, s.session.name);
    misfiled = !filing.isEmpty();
    if (!misfiled) {
        return true;
    }
    QString words;
    if (!DescribeSession(m_sourceDb, s.stored.id, words, error)) {
        return false;
    }
    ++m_summary.refused;
    ++m_summary.misfiled;
    m_summary.refusedLines << QString("%1 of %2 %3 (changed outside this program): not taken")
                                  .arg(words, m_source.Words(), filing);
    return true;
}

bool Batch::Take(SourceSession& s, QString& error) {
    const qint64 instrument = m_instruments.value(s.instrument, -1);
    if (instrument < 0) {
        error = "session " + QString::number(s.stored.id) + " of " + m_source.Words() +
                " has no instrument";
        return false;
    }
    // Filed here as the source files it, it would be found under neither its start nor its
    // entry's: no column that no hash covers decides where a session goes.
    bool misfiled = false;
    if (!Misfiled(s, misfiled, error)) {
        return false;
    }
    if (misfiled) {
        return true;
    }
    const QString key = HeldSessions::Key(instrument, s.session.slot, s.session.stamp);
    qint64 session = -1;
    bool alone = false;
    if (!Holds(instrument, s.session, s.stored.digest, session, error)) {
        return false;
    }
    if (session < 0) {
        // Bytes replaced in the source since its batch was read are looked for here again.
        const QString digest = s.stored.digest;
        if (!LoadBytes(m_sourceDb, s, error) ||
            (s.stored.digest != digest &&
             !Holds(instrument, s.session, s.stored.digest, session, error))) {
            return false;
        }
    }
    if (session >= 0) {
        ++m_summary.sessionsThere;
    } else {
        bool taken = false;
        if (!Vouched(s, nullptr, taken, error)) {
            return false;
        }
        if (!taken) {
            return true;
        }
        // Stored here as finished or open as the source's history last stated it.
        s.session.complete = m_records.Fixed(s);
        // Nothing of that instrument, slot and stamp here: nothing to compare with.
        alone = m_held.Known(key) && m_held.Of(key).isEmpty();
        m_held.Written(key);
        if (s.session.dated && !alone && !Compare(instrument, s, session, error)) {
            return false;
        }
    }
    // An undated session of other bytes is another session: undated ones share their stamp.
    if (session < 0 && !StoreNew(instrument, s, alone, session, error)) {
        return false;
    }
    for (const SourceSession::Copy& copy : s.copies) {
        qint64 holder = -1;
        if (!Holds(instrument, s.session, copy.bytes.digest, holder, error)) {
            return false;
        }
        bool taken = false;
        if (holder < 0 && !Vouched(s, &copy.bytes, taken, error)) {
            return false;
        }
        if (holder < 0 && taken) {
            m_held.Written(key);
            if (!KeepBeside(instrument, session, copy.bytes, copy.conflict, error)) {
                return false;
            }
            ++m_copiesTaken;
        }
    }
    return true;
}

bool Batch::Record(bool server, const QString& sourceHead, QString& error) {
    m_summary.sessionsNew += m_new;
    m_summary.grownKept += m_grown;
    m_summary.conflicts += m_conflicts;
    m_summary.copiesTaken += m_copiesTaken;
    if (m_touched.isEmpty()) {
        return true;
    }
    QVector<HistorySession> recorded;
    QVector<qint64> unknown;
    for (const qint64 id : m_touched) {
        const auto known = m_nowHash.constFind(id);
        if (known == m_nowHash.constEnd()) {
            unknown.append(id);
        }
    }
    QVector<HistorySession> read;
    if (!RecordedNow(m_db, unknown, read, error)) {
        return false;
    }
    QHash<qint64, HistorySession> readNow;
    for (const HistorySession& r : read) {
        readNow.insert(r.id, r);
    }
    for (const qint64 id : m_touched) {
        recorded += m_copies.value(id);
        const auto known = m_nowHash.constFind(id);
        recorded.append(known != m_nowHash.constEnd() ? known.value() : readNow.value(id));
    }
    QStringList said{Counted(m_new, "session new", "sessions new")};
    if (m_grown > 0) {
        said << Counted(m_grown, "grown copy kept as replaced", "grown copies kept as replaced");
    }
    if (m_conflicts > 0) {
        said << Counted(m_conflicts, "conflicting copy kept", "conflicting copies kept");
    }
    if (m_copiesTaken > 0) {
        said << Counted(m_copiesTaken, "replaced or conflicting copy taken",
                        "replaced or conflicting copies taken");
    }
    return AppendRecorded(m_db, server, ChangeKind::Sync,
                          "sync from " + RecordedHeadText(m_source.Words(), sourceHead) + ": " +
                              said.join(", "),
                          recorded, {}, error);
}

// A history's newest row: "row 12, HASH", or "empty" for an archive without rows.
struct Head {
    qint64 seq = 0;
    QString words;
};

bool ReadHead(QSqlDatabase& db, Head& head, QString& error) {
    QString hash;
    if (!HistoryHead(db, head.seq, hash, error)) {
        return false;
    }
    head.words = HeadWords(head.seq, hash);
    return true;
}

// The newest row of the source's history that the target holds (0: none).
bool HeldOf(QSqlDatabase& target, const QString& origin, qint64& seq, QString& error) {
    QSqlQuery query(target);
    if (!Run(query, "SELECT COALESCE(MAX(seq), 0) FROM origin_history WHERE origin = ?", {origin},
             error) ||
        !query.next()) {
        return false;
    }
    seq = query.value(0).toLongLong();
    return true;
}

struct OriginRow {
    QString origin;
    HistoryRow row;
    QString sessions;
};

// The source's own rows and those of other archives it holds that the target lacks; never the
// target's own, which it holds as its chain.
bool ReadOriginRows(QSqlDatabase& source, QSqlDatabase& target, const QString& sourceId,
                    const QString& targetId, std::vector<OriginRow>& out, QString& error) {
    QHash<QString, qint64> held;
    {
        QSqlQuery query(target);
        if (!Run(query, "SELECT origin, MAX(seq) FROM origin_history GROUP BY origin", {}, error)) {
            return false;
        }
        while (query.next()) {
            held.insert(query.value(0).toString(), query.value(1).toLongLong());
        }
    }
    const auto read = [&](const QString& sql, std::initializer_list<QVariant> values,
                          const QString& origin) {
        QSqlQuery query(source);
        query.setForwardOnly(true);
        if (!Run(query, sql, values, error)) {
            return false;
        }
        while (query.next()) {
            OriginRow r;
            r.origin = origin.isEmpty() ? query.value(11).toString() : origin;
            if (r.origin == targetId) {
                continue;
            }
            r.row.seq = query.value(0).toLongLong();
            if (r.row.seq <= held.value(r.origin, 0)) {
                continue;
            }
            r.row.at = query.value(1).toLongLong();
            r.row.user = query.value(2).toString();
            r.row.host = query.value(3).toString();
            r.row.kind = query.value(4).toString();
            r.row.detail = query.value(5).toString();
            r.sessions = query.value(6).toString();
            r.row.previous = query.value(7).toString();
            r.row.hash = query.value(8).toString();
            r.row.signer = query.value(9).toString();
            r.row.signature = query.value(10).toString();
            out.push_back(std::move(r));
        }
        return true;
    };
    const char columns[] = "seq, changed_at, os_user, host, kind, detail, sessions, previous, hash,"
                           " signer, signature";
    return read(QString("SELECT %1 FROM archive_history WHERE seq > ? ORDER BY seq").arg(columns),
                {held.value(sourceId, 0)}, sourceId) &&
           read(QString("SELECT %1, origin FROM origin_history ORDER BY origin, seq").arg(columns),
                {}, QString());
}

// A signer of the source's chains as the source registered it: of its own chain (origin: the
// source), or of another archive's.
struct OriginKey {
    QString origin;
    QString publicKey;
    qint64 firstSeq = 0;
    qint64 firstAt = 0;
    QString user;
    QString host;
};

// Every signer the source holds, but of the target's own chain: kept as the source registered
// them, so that the rows synced verify against the keys that signed them where they were written.
bool ReadOriginKeys(QSqlDatabase& source, const QString& sourceId, const QString& targetId,
                    std::vector<OriginKey>& out, QString& error) {
    QSqlQuery query(source);
    query.setForwardOnly(true);
    if (!Run(query,
             "SELECT origin, public_key, first_seq, first_at, os_user, host FROM history_keys"
             " ORDER BY origin, first_seq",
             {}, error)) {
        return false;
    }
    while (query.next()) {
        OriginKey key;
        key.origin = query.value(0).toString().isEmpty() ? sourceId : query.value(0).toString();
        if (key.origin == targetId) {
            continue;
        }
        key.publicKey = query.value(1).toString();
        key.firstSeq = query.value(2).toLongLong();
        key.firstAt = query.value(3).toLongLong();
        key.user = query.value(4).toString();
        key.host = query.value(5).toString();
        out.push_back(std::move(key));
    }
    return true;
}

// The other archives' rows, exactly as they were written, and the target's row saying so.
bool TakeOriginRows(QSqlDatabase& db, bool server, const SyncParty& source,
                    const std::vector<OriginRow>& rows, const std::vector<OriginKey>& keys,
                    SyncSummary& summary, QString& error) {
    if (rows.empty()) {
        return true;
    }
    SqlTransaction transaction(db, server);
    if (!transaction.Begun(error)) {
        return false;
    }
    // Each chain's newest row taken, whose head the row below records as the sync rows do.
    QHash<QString, const HistoryRow*> last;
    for (const OriginRow& r : rows) {
        QSqlQuery insert(db);
        if (!Run(
                insert,
                "INSERT INTO origin_history (origin, seq, changed_at, os_user, host, kind, detail,"
                " sessions, previous, hash, signer, signature)"
                " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (origin, seq) DO NOTHING",
                {r.origin, r.row.seq, r.row.at, r.row.user, r.row.host, r.row.kind,
                 Text(r.row.detail), Text(r.sessions), Text(r.row.previous), r.row.hash,
                 Text(r.row.signer), Text(r.row.signature)},
                error)) {
            return false;
        }
        const HistoryRow*& newest = last[r.origin];
        newest = newest == nullptr || r.row.seq > newest->seq ? &r.row : newest;
    }
    for (const OriginKey& key : keys) {
        QSqlQuery insert(db);
        if (!Run(insert,
                 "INSERT INTO history_keys (origin, public_key, first_seq, first_at, os_user,"
                 " host) VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (origin, public_key) DO NOTHING",
                 {key.origin, key.publicKey, key.firstSeq, key.firstAt, Text(key.user),
                  Text(key.host)},
                 error)) {
            return false;
        }
    }
    QStringList said;
    for (auto it = last.constBegin(); it != last.constEnd(); ++it) {
        const QString party =
            it.key() == source.identity ? source.Words() : "archive (identity " + it.key() + ")";
        said << RecordedHeadText(party, HeadWords(it.value()->seq, it.value()->hash));
    }
    said.sort();
    summary.historyRows += static_cast<qint64>(rows.size());
    return AppendHistory(db, server, ChangeKind::Sync,
                         "history rows of other archives synced from " + source.Words() + ": " +
                             Counted(static_cast<qint64>(rows.size()), "row", "rows") + " of " +
                             said.join("; "),
                         {}, error) &&
           transaction.Commit(error);
}

// Whether every row is the source's own record of a sync with the target: what the two said of
// their syncs with each other, and nothing else new.
bool OnlySyncsWith(const std::vector<OriginRow>& rows, const QString& source,
                   const QString& target) {
    const QString sync = ChangeKindName(ChangeKind::Sync);
    const QString named = "(identity " + target + ")";
    return std::all_of(rows.begin(), rows.end(), [&](const OriginRow& r) {
        return r.origin == source && r.row.kind == sync && r.row.detail.contains(named);
    });
}

bool CountSessions(QSqlDatabase& db, qint64& total, QString& error) {
    QSqlQuery query(db);
    if (!Run(query, "SELECT COUNT(*) FROM sessions", {}, error) || !query.next()) {
        return false;
    }
    total = query.value(0).toLongLong();
    return true;
}

// Before anything is written: two archives of their own, the source's history holding row by row,
// and no copy of an archive whose history went another way.
bool MaySync(SessionArchive& source, QSqlDatabase& sourceDb, QSqlDatabase& targetDb,
             const SyncParty& from, const SyncParty& into, SyncSummary& summary, QString& error) {
    if (from.identity.isEmpty() || into.identity.isEmpty()) {
        error = "an archive without an identity cannot be synced";
        return false;
    }
    if (from.identity == into.identity) {
        error = from.where == into.where
                    ? "the archive " + from.where + " is synced into itself: name another archive"
                    : "the archive " + from.where + " and the archive " + into.where +
                          " have one identity (" + from.identity +
                          "): one is a copy of the other, restored from a backup or copied, and"
                          " is never synced with it";
        return false;
    }
    return SourceChainsHold(sourceDb, source.SchemaVersion() >= kSigningVersion, from,
                            into.identity, summary.historyUnverified, error) &&
           ChainsAgree(sourceDb, targetDb, from, into, summary.historiesDisagree, error);
}

// The source's instruments filed in the target, in a transaction of their own: `instruments`
// gives the target's id of each of the source's.
bool FileInstruments(QSqlDatabase& sourceDb, QSqlDatabase& targetDb, bool server,
                     const SyncParty& from, const QString& into, QHash<qint64, qint64>& instruments,
                     SyncSummary& summary, QString& error) {
    // Its renaming notices only for what was written.
    SyncSummary filed = summary;
    SqlTransaction transaction(targetDb, server);
    if (!transaction.Begun(error) ||
        !SyncInstruments(sourceDb, targetDb, server, from, into, instruments, filed, error) ||
        !transaction.Commit(error)) {
        return false;
    }
    summary = filed;
    return true;
}

// One batch of the source's sessions taken in a transaction of the target's own; `number` counts
// the batches from 1. What it took is counted in `counted`.
bool TakeBatch(QSqlDatabase& sourceDb, QSqlDatabase& targetDb, bool server, const SyncParty& from,
               SourceRecords& records, const QHash<qint64, qint64>& instruments,
               std::vector<SourceSession>& sessions, const Head& sourceHead,
               const SyncOptions& options, int number, SyncSummary& counted, QString& error) {
    SqlTransaction transaction(targetDb, server);
    Batch batch(targetDb, sourceDb, from, records, instruments, counted);
    if (!transaction.Begun(error) || !batch.Preload(sessions, error)) {
        return false;
    }
    for (SourceSession& s : sessions) {
        if (!batch.Take(s, error)) {
            return false;
        }
    }
    if (!batch.Record(server, sourceHead.words, error)) {
        return false;
    }
    if (options.beforeCommit && !options.beforeCommit(number)) {
        error = QString("the sync stopped in its batch %1").arg(number);
        return false;
    }
    return transaction.Commit(error);
}

// The source's sessions, batch by batch, until none is left or the sync is asked to stop.
bool TakeSessions(QSqlDatabase& sourceDb, QSqlDatabase& targetDb, bool server,
                  const SyncParty& from, const Head& sourceHead, qint64 total,
                  const QHash<qint64, qint64>& instruments, const SyncOptions& options,
                  SyncSummary& summary, QString& error) {
    SourceRecords records(sourceDb, from, sourceHead.seq);
    qint64 after = 0;
    qint64 done = 0;
    for (int number = 1;; ++number) {
        std::vector<SourceSession> sessions;
        if (!ReadBatch(sourceDb, after, std::max(1, options.batchSessions), sessions, error)) {
            return false;
        }
        if (sessions.empty()) {
            return true;
        }
        if (options.stop != nullptr && options.stop->Asked()) {
            summary.stopped = true;
            summary.sessionsLooked = done;
            summary.sessionsTotal = total;
            error = summary.StoppedLine();
            return false;
        }
        after = sessions.back().stored.id;
        SyncSummary counted = summary;
        if (!TakeBatch(sourceDb, targetDb, server, from, records, instruments, sessions, sourceHead,
                       options, number, counted, error)) {
            return false;
        }
        summary = counted;
        done += static_cast<qint64>(sessions.size());
        if (options.progress) {
            options.progress(done, total);
        }
    }
}

// After the sessions: the source told of the sync, and the histories the target does not hold yet
// taken in.
bool TakeHistory(SessionArchive& source, QSqlDatabase& sourceDb, QSqlDatabase& targetDb,
                 bool server, const SyncParty& from, const SyncParty& into, const Head& sourceHead,
                 SyncSummary& summary, QString& error) {
    std::vector<OriginRow> rows;
    if (!ReadOriginRows(sourceDb, targetDb, from.identity, into.identity, rows, error)) {
        return false;
    }
    // Two archives that sync both ways settle: the other side's records of their syncs are all
    // that is new, and would each make a record on this side in turn, for ever. They are taken
    // with the next row that is news (the chain kept whole), and nothing is written now.
    if (!summary.Took() && OnlySyncsWith(rows, from.identity, into.identity)) {
        return true;
    }
    // The source is told of a sync that took something, or whose end it was not told of (one
    // stopped after its last batch): then the target does not hold the source's history yet.
    qint64 held = 0;
    if (!HeldOf(targetDb, from.identity, held, error)) {
        return false;
    }
    if (summary.Took() || held < sourceHead.seq) {
        Head targetHead;
        if (!ReadHead(targetDb, targetHead, error) ||
            !RecordChange(source, ChangeKind::Sync,
                          "synced into " + RecordedHeadText(into.Words(), targetHead.words) + ": " +
                              summary.Counts(),
                          {}, error)) {
            return false;
        }
        rows.clear();
    }
    std::vector<OriginKey> keys;
    return (!rows.empty() ||
            ReadOriginRows(sourceDb, targetDb, from.identity, into.identity, rows, error)) &&
           ReadOriginKeys(sourceDb, from.identity, into.identity, keys, error) &&
           TakeOriginRows(targetDb, server, from, rows, keys, summary, error);
}

} // namespace

bool SyncSummary::Took() const {
    return instrumentsNew + sessionsNew + grownKept + conflicts + copiesTaken + intervals +
               historyRows >
           0;
}

QString SyncSummary::Failed(const QString& error) const {
    return error + (Took() ? "; what was taken stays, and the next sync completes it"
                           : "; nothing was taken");
}

QString SyncSummary::Line() const {
    return Counts() + (Took() || stopped ? QString() : QString("; nothing new"));
}

QString SyncSummary::Counts() const {
    QStringList parts{Counted(instrumentsNew, "instrument", "instruments") + ", " +
                      Counted(sessionsNew, "session new", "sessions new") + ", " +
                      QLocale(QLocale::English, QLocale::UnitedStates).toString(sessionsThere) +
                      " already there"};
    if (grownKept > 0) {
        parts << Counted(grownKept, "grown copy kept as replaced", "grown copies kept as replaced");
    }
    if (conflicts > 0) {
        parts << Counted(conflicts, "conflicting copy kept beside its session",
                         "conflicting copies kept beside their sessions");
    }
    if (copiesTaken > 0) {
        parts << Counted(copiesTaken, "replaced or conflicting copy taken",
                         "replaced or conflicting copies taken");
    }
    if (intervals > 0) {
        parts << Counted(intervals, "interval setting", "interval settings");
    }
    if (historyRows > 0) {
        parts << Counted(historyRows, "history row", "history rows") + " of other archives";
    }
    if (refused > misfiled) {
        parts << Counted(refused - misfiled, "session or copy", "sessions or copies") +
                     " not taken: not what the source's history recorded";
    }
    if (misfiled > 0) {
        parts << (misfiled == 1 ? QString("1 session not taken: not filed as its index entry says")
                                : Counted(misfiled, "session", "sessions") +
                                      " not taken: not filed as their index entries say");
    }
    return parts.join("; ");
}

QString SyncSummary::StoppedLine() const {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    return QString("stopped after %1 of %2 sessions; the rest comes with the next sync")
        .arg(english.toString(sessionsLooked), english.toString(sessionsTotal));
}

bool SyncArchive(SessionArchive& source, SessionArchive& target, const SyncOptions& options,
                 SyncSummary& summary, QString& error) {
    summary = SyncSummary();
    if (!source.IsOpen() || !target.IsOpen()) {
        error = "the archive is not open";
        return false;
    }
    SyncParty from{source.Identity(), source.WhereFromAnywhere(), QString()};
    SyncParty into{target.Identity(), target.WhereFromAnywhere(), QString()};
    if (!LabelOf(source, from.label, error) || !LabelOf(target, into.label, error)) {
        return false;
    }
    QSqlDatabase sourceDb = DbOf(source);
    QSqlDatabase targetDb = DbOf(target);
    const bool server = target.IsServer();
    if (!MaySync(source, sourceDb, targetDb, from, into, summary, error)) {
        return false;
    }
    Head sourceHead;
    qint64 total = 0;
    if (!ReadHead(sourceDb, sourceHead, error) || !CountSessions(sourceDb, total, error)) {
        return false;
    }
    QHash<qint64, qint64> instruments;
    return FileInstruments(sourceDb, targetDb, server, from, into.identity, instruments, summary,
                           error) &&
           TakeSessions(sourceDb, targetDb, server, from, sourceHead, total, instruments, options,
                        summary, error) &&
           TakeHistory(source, sourceDb, targetDb, server, from, into, sourceHead, summary, error);
}

} // namespace archive
