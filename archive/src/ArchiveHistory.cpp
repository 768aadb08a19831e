// The history as the archive's users see it: a change recorded on its own, the rows listed, and
// the whole archive checked against them.
#include "archive/ArchiveHistory.h"

#include <QCryptographicHash>
#include <QHash>
#include <QLocale>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "ChainSignatures.h"
#include "HistoryChain.h"
#include "Schema.h"
#include "SqlSteps.h"
#include "archive/SessionArchive.h"

namespace archive {
namespace {

QSqlDatabase DbOf(SessionArchive& archive) {
    return QSqlDatabase::database(archive.ConnectionName(), false);
}

bool Opened(SessionArchive& archive, QString& error) {
    if (!archive.IsOpen()) {
        error = "the archive is not open";
        return false;
    }
    return true;
}

QString Counted(qint64 count, const char* one, const char* many) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(count) + ' ' +
           (count == 1 ? one : many);
}

// The rows of this archive's own chain (`origin` empty), or of the other archive `origin` as
// they were synced in.
// `signing`: the archive's schema has the signatures' columns.
bool ReadRows(QSqlDatabase& db, const QString& origin, bool signing,
              const std::function<void(const HistoryRow&, bool)>& take, QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString columns =
        QString("seq, changed_at, os_user, host, kind, detail, sessions, previous, hash") +
        (signing ? ", signer, signature" : "");
    if (!(origin.isEmpty()
              ? Run(query, QString("SELECT %1 FROM archive_history ORDER BY seq").arg(columns), {},
                    error)
              : Run(query,
                    QString("SELECT %1 FROM origin_history WHERE origin = ? ORDER BY seq")
                        .arg(columns),
                    {origin}, error))) {
        return false;
    }
    while (query.next()) {
        HistoryRow row;
        row.seq = query.value(0).toLongLong();
        row.at = query.value(1).toLongLong();
        row.user = query.value(2).toString();
        row.host = query.value(3).toString();
        row.kind = query.value(4).toString();
        row.detail = query.value(5).toString();
        const bool readable =
            ParseSessionsText(query.value(6).toString(), row.sessions, row.indexUploads);
        row.previous = query.value(7).toString();
        row.hash = query.value(8).toString();
        if (signing) {
            row.signer = query.value(9).toString();
            row.signature = query.value(10).toString();
        }
        take(row, readable);
    }
    return true;
}

// Where a session or index upload was last recorded, and as what.
struct Recorded {
    QString sha256;
    qint64 row = 0;
};

// What the chain recorded: each session's and index upload's latest hash, and every hash a
// session ever had (its replaced copies are among them).
struct ChainRecords {
    QHash<qint64, Recorded> sessions;
    QHash<qint64, Recorded> indexUploads;
    QHash<qint64, QSet<QString>> everySession;
};

// One chain: each row follows the one before and matches its own hash. Only this archive's own
// (`origin` empty) names its sessions: another archive's rows name that archive's.
void CheckChain(QSqlDatabase& db, const QString& origin, bool signing, VerifySummary& summary,
                ChainRecords& records, QString& error) {
    qint64 expected = 1;
    QString before;
    const QString whose = origin.isEmpty() ? QString() : "archive " + origin + "'s ";
    ++summary.chains;
    ChainSignatures signatures;
    if (signing && !signatures.Load(db, origin, error)) {
        summary.readable = false;
        return;
    }
    const bool read = ReadRows(
        db, origin, signing,
        [&](const HistoryRow& row, bool readable) {
            ++summary.rows;
            const QString at = whose + "history row " + QString::number(row.seq);
            if (row.seq > expected) {
                summary.mismatches
                    << whose + (row.seq == expected + 1
                                    ? QString("history row %1 is missing (deleted)").arg(expected)
                                    : QString("history rows %1 to %2 are missing (deleted)")
                                          .arg(expected)
                                          .arg(row.seq - 1));
            } else if (row.previous != before) {
                summary.mismatches << at + " does not follow the row before it (a row was"
                                           " changed, deleted or put in between)";
            }
            if (!readable) {
                summary.mismatches << at + ": its list of sessions is unreadable";
            }
            if (RowHash(row) != row.hash) {
                summary.mismatches << at + " does not match its own hash (changed after it was"
                                           " written)";
            }
            if (signing) {
                signatures.Check(row, at, summary.mismatches);
            }
            if (!origin.isEmpty()) {
                expected = row.seq + 1;
                before = row.hash;
                return;
            }
            for (const HistorySession& s : row.sessions) {
                records.sessions[s.id] = {s.sha256, row.seq};
                records.everySession[s.id].insert(s.sha256);
            }
            for (const HistorySession& s : row.indexUploads) {
                records.indexUploads[s.id] = {s.sha256, row.seq};
            }
            expected = row.seq + 1;
            before = row.hash;
        },
        error);
    if (!read) {
        summary.readable = false;
    } else if (signing) {
        signatures.Finish(whose, summary);
    }
}

QString Sha256(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// The hash a history row recorded for the block `id`, taken out of `recorded`, so that what stays
// there at the end was recorded but never found; false when no row recorded the block.
bool TakeRecorded(QHash<qint64, Recorded>& recorded, qint64 id, const QString& at,
                  VerifySummary& summary, Recorded& r) {
    const auto found = recorded.constFind(id);
    if (found == recorded.constEnd()) {
        summary.mismatches << at + " is in no history row";
        return false;
    }
    r = found.value();
    recorded.erase(found);
    return true;
}

void CompareRecorded(const QString& at, const QString& now, const Recorded& r,
                     VerifySummary& summary) {
    if (now != r.sha256) {
        summary.mismatches << QString("%1: its stored bytes hash to %2, history row %3"
                                      " recorded %4")
                                  .arg(at, now)
                                  .arg(r.row)
                                  .arg(r.sha256);
    }
}

void ReportUnfound(const QString& what, const QHash<qint64, Recorded>& recorded,
                   VerifySummary& summary) {
    for (auto gone = recorded.constBegin(); gone != recorded.constEnd(); ++gone) {
        summary.mismatches << QString("%1 %2, recorded in history row %3, is missing from the"
                                      " archive")
                                  .arg(what)
                                  .arg(gone.key())
                                  .arg(gone.value().row);
    }
}

void CheckSessions(QSqlDatabase& db, VerifySummary& summary, QHash<qint64, Recorded>& recorded,
                   QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             "SELECT s.id, s.name, b.sector, b.overrun, s.digest FROM sessions s"
             " LEFT JOIN session_bytes b ON b.session_id = s.id ORDER BY s.id",
             {}, error)) {
        summary.readable = false;
        return;
    }
    while (query.next()) {
        ++summary.sessions;
        const qint64 id = query.value(0).toLongLong();
        const QString at = "session " + QString::number(id);
        Recorded r;
        if (!TakeRecorded(recorded, id, at, summary, r)) {
            continue;
        }
        if (query.value(2).isNull()) {
            summary.mismatches << at + "'s stored bytes are missing";
            continue;
        }
        const QString now =
            StoredBytesHash(query.value(1).toByteArray(), query.value(2).toByteArray(),
                            query.value(3).toByteArray());
        // The digest that tells a session's copies apart is the sector's alone; one changed
        // would let the same bytes be stored twice, or other bytes pass for these.
        if (Sha256(query.value(2).toByteArray()) != query.value(4).toString()) {
            summary.mismatches << at + ": its digest column does not match its sector";
        }
        CompareRecorded(at, now, r, summary);
    }
    ReportUnfound("session", recorded, summary);
}

void CheckIndexUploads(QSqlDatabase& db, VerifySummary& summary, QHash<qint64, Recorded>& recorded,
                       QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query, "SELECT id, bytes FROM index_uploads ORDER BY id", {}, error)) {
        summary.readable = false;
        return;
    }
    while (query.next()) {
        ++summary.indexUploads;
        const qint64 id = query.value(0).toLongLong();
        const QString at = "index upload " + QString::number(id);
        Recorded r;
        if (!TakeRecorded(recorded, id, at, summary, r)) {
            continue;
        }
        const QString now = IndexBytesHash(query.value(1).toByteArray());
        CompareRecorded(at, now, r, summary);
    }
    ReportUnfound("index upload", recorded, summary);
}

// A replaced copy was the session's stored bytes once: the chain recorded its hash then (or at the
// history's start). Copies replaced before their bytes were kept have none to check.
void CheckReplacedCopies(QSqlDatabase& db, bool conflicts, VerifySummary& summary,
                         const QHash<qint64, QSet<QString>>& everySession, QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             QString("SELECT id, session_id, name, sector, overrun, digest, %1 FROM"
                     " session_history WHERE sector IS NOT NULL ORDER BY id")
                 .arg(conflicts ? "conflict" : "0"),
             {}, error)) {
        summary.readable = false;
        return;
    }
    while (query.next()) {
        const qint64 session = query.value(1).toLongLong();
        if (query.value(6).toInt() != 0) {
            ++summary.conflictingCopies;
            summary.conflicts << QString("session %1 holds a conflicting copy (%2), kept beside"
                                         " it from another archive")
                                     .arg(session)
                                     .arg(query.value(0).toLongLong());
        } else {
            ++summary.replacedCopies;
        }
        const QString at = QString("the copy of session %1 replaced as %2")
                               .arg(session)
                               .arg(query.value(0).toLongLong());
        const QByteArray sector = query.value(3).toByteArray();
        const QString now =
            StoredBytesHash(query.value(2).toByteArray(), sector, query.value(4).toByteArray());
        if (!everySession.value(session).contains(now)) {
            summary.mismatches << QString("%1: its stored bytes hash to %2, which no history row"
                                          " recorded for that session")
                                      .arg(at, now);
        }
        if (Sha256(sector) != query.value(5).toString()) {
            summary.mismatches << at + ": its digest column does not match its sector";
        }
    }
}

} // namespace

QString VerifySummary::Line() const {
    if (!readable) {
        return "Not verified: " + error;
    }
    QStringList blocks{Counted(sessions, "session", "sessions")};
    if (indexUploads > 0) {
        blocks << Counted(indexUploads, "index upload", "index uploads");
    }
    if (replacedCopies > 0) {
        blocks << Counted(replacedCopies, "replaced copy", "replaced copies");
    }
    if (conflictingCopies > 0) {
        blocks << Counted(conflictingCopies, "conflicting copy", "conflicting copies");
    }
    const QString what = blocks.join(", ") + " and " +
                         Counted(rows, "history row", "history rows") +
                         (chains > 1 ? " in " + Counted(chains, "chain", "chains") : QString());
    if (mismatches.isEmpty()) {
        return "Verified: " + what + ", no mismatch";
    }
    return "Verification failed: " + Counted(mismatches.size(), "mismatch", "mismatches") + " in " +
           what;
}

bool RecordChange(SessionArchive& archive, ChangeKind kind, const QString& detail,
                  const QVector<qint64>& sessions, QString& error) {
    if (!Opened(archive, error)) {
        return false;
    }
    QSqlDatabase db = DbOf(archive);
    SqlTransaction transaction(db, archive.IsServer());
    return transaction.Begun(error) &&
           AppendHistory(db, archive.IsServer(), kind, detail, sessions, error) &&
           transaction.Commit(error);
}

bool History(SessionArchive& archive, const std::function<void(const HistoryRow&)>& take,
             QString& error) {
    if (!Opened(archive, error)) {
        return false;
    }
    QSqlDatabase db = DbOf(archive);
    return ReadRows(
        db, QString(), archive.SchemaVersion() >= kSigningVersion,
        [&take](const HistoryRow& row, bool) { take(row); }, error);
}

bool ChainHistory(SessionArchive& archive, const QString& origin,
                  const std::function<void(const HistoryRow&)>& take, QString& error) {
    if (origin.isEmpty()) {
        return History(archive, take, error);
    }
    if (!Opened(archive, error)) {
        return false;
    }
    if (archive.SchemaVersion() < kSyncVersion) {
        return true;
    }
    QSqlDatabase db = DbOf(archive);
    return ReadRows(
        db, origin, archive.SchemaVersion() >= kSigningVersion,
        [&take](const HistoryRow& row, bool) { take(row); }, error);
}

QVector<HistoryRow> History(SessionArchive& archive, QString& error) {
    QVector<HistoryRow> rows;
    History(
        archive, [&rows](const HistoryRow& row) { rows.append(row); }, error);
    return rows;
}

VerifySummary VerifyArchive(SessionArchive& archive) {
    VerifySummary summary;
    if (!Opened(archive, summary.error)) {
        return summary;
    }
    QSqlDatabase db = DbOf(archive);
    const bool server = archive.IsServer();
    // One snapshot for the rows and the sessions: a download committing in between would
    // otherwise look like a session without its row, or a row without its session.
    if (!Exec(db, server ? "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY" : "BEGIN",
              summary.error)) {
        return summary;
    }
    summary.readable = true;
    ChainRecords records;
    const bool signing = archive.SchemaVersion() >= kSigningVersion;
    CheckChain(db, QString(), signing, summary, records, summary.error);
    const bool synced = archive.SchemaVersion() >= kSyncVersion;
    if (summary.readable && synced) {
        QStringList origins;
        QSqlQuery query(db);
        summary.readable = Run(query, "SELECT DISTINCT origin FROM origin_history ORDER BY origin",
                               {}, summary.error);
        while (summary.readable && query.next()) {
            origins << query.value(0).toString();
        }
        for (const QString& origin : origins) {
            ChainRecords theirs;
            if (summary.readable) {
                CheckChain(db, origin, signing, summary, theirs, summary.error);
            }
        }
    }
    if (summary.readable && summary.rows == 0) {
        // No rows although the history has begun: they were all deleted.
        QSqlQuery pending(db);
        summary.readable =
            Run(pending, "SELECT COUNT(*) FROM history_start", {}, summary.error) && pending.next();
        if (summary.readable && pending.value(0).toLongLong() == 0) {
            summary.mismatches << "the history is empty: its rows were deleted";
        }
    }
    if (summary.readable) {
        CheckSessions(db, summary, records.sessions, summary.error);
    }
    // An archive opened at a schema before the index uploads and replaced copies were recorded
    // has nothing of them to check.
    if (summary.readable && archive.SchemaVersion() >= kAllBytesVersion) {
        CheckIndexUploads(db, summary, records.indexUploads, summary.error);
        if (summary.readable) {
            CheckReplacedCopies(db, synced, summary, records.everySession, summary.error);
        }
    }
    QString ignored;
    Exec(db, "ROLLBACK", ignored);
    return summary;
}

} // namespace archive
