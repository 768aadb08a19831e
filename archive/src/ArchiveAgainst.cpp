// One archive's history checked against what another recorded of it when they synced.
#include "archive/ArchiveAgainst.h"

#include <QLocale>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

#include "ChainRecords.h"
#include "HistoryChain.h"
#include "RecordedHeads.h"
#include "Schema.h"
#include "SqlSteps.h"
#include "archive/HistorySigning.h"
#include "archive/SessionArchive.h"

namespace archive {
namespace {

QString Counted(qint64 count, const char* one, const char* many) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(count) + ' ' +
           (count == 1 ? one : many);
}

// A history row as stored, its sessions column as text: compared column by column.
struct StoredRow {
    qint64 seq = 0;
    qint64 at = 0;
    QString user, host, kind, detail, sessions, previous, hash;
    QString signer, signature; // empty where either archive's schema has no signatures
    // The columns its hash covers.
    bool SameText(const StoredRow& o) const {
        return seq == o.seq && at == o.at && user == o.user && host == o.host && kind == o.kind &&
               detail == o.detail && sessions == o.sessions && previous == o.previous &&
               hash == o.hash;
    }
    bool operator==(const StoredRow& o) const {
        return SameText(o) && signer == o.signer && signature == o.signature;
    }
};

// The columns a StoredRow is read from: the signatures' only where both archives have them.
QString StoredColumns(bool signing) {
    return QString(kHistoryColumns) + (signing ? ", signer, signature" : "");
}

bool ReadStored(QSqlDatabase& db, const QString& sql, std::initializer_list<QVariant> values,
                bool signing, QMap<qint64, StoredRow>& rows, QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query, sql.arg(StoredColumns(signing)), values, error)) {
        return false;
    }
    while (query.next()) {
        StoredRow r;
        r.seq = query.value(0).toLongLong();
        r.at = query.value(1).toLongLong();
        r.user = query.value(2).toString();
        r.host = query.value(3).toString();
        r.kind = query.value(4).toString();
        r.detail = query.value(5).toString();
        r.sessions = query.value(6).toString();
        r.previous = query.value(7).toString();
        r.hash = query.value(8).toString();
        if (signing) {
            r.signer = query.value(9).toString();
            r.signature = query.value(10).toString();
        }
        rows.insert(r.seq, r);
    }
    return true;
}

// A consistent read of one archive for the whole check; rolled back when done.
class ReadSnapshot {
public:
    ReadSnapshot(QSqlDatabase& db, bool server) : m_db(db), m_server(server) {}
    ~ReadSnapshot() {
        if (m_open) {
            QString ignored;
            Exec(m_db, "ROLLBACK", ignored);
        }
    }
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;
    bool Begun(QString& error) {
        m_open = Exec(m_db, m_server ? "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY" : "BEGIN",
                      error);
        return m_open;
    }

private:
    QSqlDatabase& m_db;
    bool m_server;
    bool m_open = false;
};

// The row a stored one holds, for its hash to be made again; false when its list of sessions is
// unreadable.
bool RowOf(const StoredRow& r, HistoryRow& row) {
    row.seq = r.seq;
    row.at = r.at;
    row.user = r.user;
    row.host = r.host;
    row.kind = r.kind;
    row.detail = r.detail;
    row.previous = r.previous;
    return ParseSessionsText(r.sessions, row.sessions, row.indexUploads);
}

QString KeyWords(const QString& publicHex) {
    if (publicHex.isEmpty()) {
        return QStringLiteral("no key");
    }
    const QString fingerprint = KeyFingerprint(publicHex);
    return fingerprint.isEmpty() ? QStringLiteral("an unreadable key") : "key " + fingerprint;
}

// Why the other's row is not the copy held here: what its text hashes to now, or, where that is
// still the held hash, the other hash its row carries; where the text is the same, the column of
// its signature that differs (the row signed again on one side).
QString HowItDiffers(const StoredRow& there, const StoredRow& here) {
    if (there.SameText(here)) {
        return there.signer != here.signer
                   ? QString("its signer differs: there %1, here %2")
                         .arg(KeyWords(there.signer), KeyWords(here.signer))
                   : QString("its signature differs: there %1, here %2")
                         .arg(there.signature.isEmpty() ? QString("none") : there.signature,
                              here.signature.isEmpty() ? QString("none") : here.signature);
    }
    HistoryRow row;
    if (!RowOf(there, row)) {
        return "there its list of sessions is unreadable";
    }
    const QString now = RowHash(row);
    if (now != here.hash) {
        return QString("there it hashes to %1, here to %2").arg(now, here.hash);
    }
    return QString("there it hashes to %1 as here, but carries the hash %2").arg(now, there.hash);
}

// The other's chain up to `upTo`: each row there, following the one before and matching its own
// hash.
void CheckTheirChain(const QMap<qint64, StoredRow>& theirs, qint64 upTo, const QString& whose,
                     AgainstSummary& summary) {
    QString before;
    for (qint64 seq = 1; seq <= upTo; ++seq) {
        const auto found = theirs.constFind(seq);
        const QString at = whose + "history row " + QString::number(seq);
        if (found == theirs.constEnd()) {
            summary.mismatches << at + " is missing (deleted since the sync)";
            before.clear();
            continue;
        }
        ++summary.rowsChecked;
        const StoredRow& r = found.value();
        HistoryRow row;
        if (!RowOf(r, row)) {
            summary.mismatches << at + ": its list of sessions is unreadable";
        } else if (RowHash(row) != r.hash) {
            summary.mismatches << at + " does not match its own hash (changed since the sync)";
        }
        if (seq > 1 && !before.isEmpty() && r.previous != before) {
            summary.mismatches << at + " does not follow the row before it";
        }
        before = r.hash;
    }
}

// "archive ID's history ends at row 8, before row 11 that this archive recorded of it at its
// sync in row 40: rows were deleted": the newest of the recorded heads and the rows held of it.
QString EndedBefore(const QString& whose, qint64 theirEnd, const QMap<qint64, StoredRow>& copy,
                    const QMap<qint64, RecordedHead>& heads) {
    const qint64 held = copy.isEmpty() ? 0 : copy.lastKey();
    const QString ends = theirEnd == 0 ? whose + "history holds no row"
                                       : whose + "history ends at row " + QString::number(theirEnd);
    if (!heads.isEmpty() && heads.lastKey() >= held) {
        const RecordedHead& head = heads.last();
        return QString("%1, before row %2 that this archive recorded of it at its sync in row %3:"
                       " rows were deleted")
            .arg(ends)
            .arg(head.seq)
            .arg(head.row);
    }
    return QString("%1, before row %2 that this archive holds a copy of from a sync: rows were"
                   " deleted")
        .arg(ends)
        .arg(held);
}

// Each row of the other's chain this archive holds a copy of, against the same row there.
void CompareCopy(const QMap<qint64, StoredRow>& copy, const QMap<qint64, StoredRow>& their,
                 const QString& whose, AgainstSummary& summary) {
    for (const StoredRow& held : copy) {
        ++summary.rowsCompared;
        const auto found = their.constFind(held.seq);
        const QString at = whose + "history row " + QString::number(held.seq);
        if (found == their.constEnd()) {
            continue; // named once by the caller: as missing, or past the end of their chain
        }
        if (!(found.value() == held)) {
            summary.mismatches << QString("%1 is not the copy this archive took at a sync (%2)")
                                      .arg(at, HowItDiffers(found.value(), held));
        }
    }
}

// Each head of the other's history this archive's sync rows recorded, against that row there.
void CompareHeads(const QMap<qint64, RecordedHead>& heads, const QMap<qint64, StoredRow>& their,
                  const QString& whose, AgainstSummary& summary) {
    for (const RecordedHead& head : heads) {
        ++summary.heads;
        const auto found = their.constFind(head.seq);
        if (found != their.constEnd() && found.value().hash != head.hash) {
            summary.mismatches << QString("%1 is not the head this archive's history row %2"
                                          " recorded at a sync (there it hashes to %3, recorded"
                                          " %4): that history was rewritten")
                                      .arg(whose + "history row " + QString::number(head.seq))
                                      .arg(head.row)
                                      .arg(found.value().hash, head.hash);
        }
    }
}

// What the other archive holds of a sync with this one: the newest row of its own chain that
// recorded this archive's head at a sync (0: none) and that head, and how far it holds this
// archive's chain (0: not at all).
struct TheirRecord {
    qint64 row = 0;
    qint64 head = 0;
    qint64 held = 0;
};

bool ReadTheirRecord(QSqlDatabase& theirs, const QString& ownId, TheirRecord& record,
                     QString& error) {
    QSqlQuery query(theirs);
    query.setForwardOnly(true);
    if (!Run(query, "SELECT seq, detail FROM archive_history WHERE kind = ? ORDER BY seq",
             {ChangeKindName(ChangeKind::Sync)}, error)) {
        return false;
    }
    while (query.next()) {
        RecordedHead head;
        if (ParseRecordedHead(query.value(1).toString(), head) && head.identity == ownId) {
            record.row = query.value(0).toLongLong();
            record.head = head.seq;
        }
    }
    query.finish();
    if (!Run(query, "SELECT COALESCE(MAX(seq), 0) FROM origin_history WHERE origin = ?", {ownId},
             error) ||
        !query.next()) {
        return false;
    }
    record.held = query.value(0).toLongLong();
    return true;
}

// The line for two archives of which this one holds no trace of a sync with the other: that they
// never synced only where the other holds none either. Where it does, this archive's rows of the
// sync were taken out, and its history ending before what the other learnt of it says so.
bool NoSyncHere(QSqlDatabase& mine, QSqlDatabase& theirs, const QString& ownId,
                const QString& other, QString& line, QString& error) {
    TheirRecord record;
    qint64 ownEnd = 0;
    QString ownHead;
    if (!ReadTheirRecord(theirs, ownId, record, error) ||
        !HistoryHead(mine, ownEnd, ownHead, error)) {
        return false;
    }
    line = "this archive holds no row of " + other + " and recorded no head of its history";
    if (record.row == 0 && record.held == 0) {
        line += ": they never synced";
        return true;
    }
    QStringList shown;
    if (record.row != 0) {
        shown << QString("its history row %1 recorded this archive's head row %2 at a sync")
                     .arg(record.row)
                     .arg(record.head);
    }
    if (record.held != 0) {
        shown
            << QString("it holds this archive's history up to row %1 from a sync").arg(record.held);
    }
    const qint64 known = std::max(record.head, record.held);
    line += ", but they synced (" + shown.join(", and ") + "): " +
            (ownEnd < known ? QString("this archive's history ends at row %1, before row %2: its"
                                      " newest rows were deleted")
                                  .arg(ownEnd)
                                  .arg(known)
                            : QString("what this archive recorded of that sync was deleted or"
                                      " changed"));
    return true;
}

} // namespace

QString AgainstSummary::Line() const {
    if (!readable) {
        return "Not verified against " + (other.isEmpty() ? QString("the other archive") : other) +
               ": " + error;
    }
    const QString what =
        Counted(rowsCompared, "history row compared", "history rows compared") + ", " +
        Counted(heads, "recorded head", "recorded heads") + ", " +
        Counted(rowsChecked, "row of its chain checked", "rows of its chain checked");
    if (mismatches.isEmpty()) {
        return "Verified against " + other + ": " + what + ", no mismatch";
    }
    return "Verification against " + other +
           " failed: " + Counted(mismatches.size(), "mismatch", "mismatches") + " in " + what;
}

AgainstSummary VerifyAgainst(SessionArchive& archive, SessionArchive& other) {
    AgainstSummary summary;
    if (!archive.IsOpen() || !other.IsOpen()) {
        summary.error = "the archive is not open";
        return summary;
    }
    const QString theirId = other.Identity();
    summary.other = QString("archive %1 (identity %2)").arg(other.WhereFromAnywhere(), theirId);
    if (archive.SchemaVersion() < kSyncVersion || theirId.isEmpty()) {
        summary.error = "an archive made before archives were synced has nothing to compare";
        return summary;
    }
    if (archive.Identity() == theirId) {
        summary.error = "that is this archive itself";
        return summary;
    }
    QSqlDatabase mine = QSqlDatabase::database(archive.ConnectionName(), false);
    QSqlDatabase theirs = QSqlDatabase::database(other.ConnectionName(), false);
    ReadSnapshot mineRead(mine, archive.IsServer());
    ReadSnapshot theirRead(theirs, other.IsServer());
    const bool signing =
        archive.SchemaVersion() >= kSigningVersion && other.SchemaVersion() >= kSigningVersion;
    QMap<qint64, StoredRow> own;
    QMap<qint64, StoredRow> copy;
    if (!mineRead.Begun(summary.error) || !theirRead.Begun(summary.error) ||
        !ReadStored(mine, "SELECT %1 FROM archive_history WHERE kind = ? ORDER BY seq",
                    {ChangeKindName(ChangeKind::Sync)}, signing, own, summary.error) ||
        !ReadStored(mine, "SELECT %1 FROM origin_history WHERE origin = ? ORDER BY seq", {theirId},
                    signing, copy, summary.error)) {
        return summary;
    }
    // Each head this archive's syncs recorded of the other's history, oldest first.
    QMap<qint64, RecordedHead> heads;
    for (const StoredRow& r : own) {
        RecordedHead head;
        if (ParseRecordedHead(r.detail, head) && head.identity == theirId &&
            !heads.contains(head.seq)) {
            head.row = r.seq;
            heads.insert(head.seq, head);
        }
    }
    const qint64 upTo =
        std::max(copy.isEmpty() ? 0 : copy.lastKey(), heads.isEmpty() ? 0 : heads.lastKey());
    QMap<qint64, StoredRow> their;
    qint64 theirEnd = 0;
    QString theirHead;
    if (!ReadStored(theirs, "SELECT %1 FROM archive_history WHERE seq <= ? ORDER BY seq", {upTo},
                    signing, their, summary.error) ||
        !HistoryHead(theirs, theirEnd, theirHead, summary.error)) {
        return summary;
    }
    const QString whose = "archive " + theirId + "'s ";
    if (upTo == 0) {
        QString line;
        summary.readable =
            NoSyncHere(mine, theirs, archive.Identity(), summary.other, line, summary.error);
        if (summary.readable) {
            summary.mismatches << line;
        }
        return summary;
    }
    summary.readable = true;
    CompareCopy(copy, their, whose, summary);
    CompareHeads(heads, their, whose, summary);
    // Rows deleted from the end leave a chain whole in itself: only what was learnt of it at a
    // sync shows them, named once here rather than as each row missing.
    if (upTo > theirEnd) {
        summary.mismatches << EndedBefore(whose, theirEnd, copy, heads);
    }
    CheckTheirChain(their, std::min(upTo, theirEnd), whose, summary);
    return summary;
}

} // namespace archive
