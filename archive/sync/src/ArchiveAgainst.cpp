// One archive's history checked against what another recorded of it when they synced.
#include "archive/ArchiveAgainst.h"

#include <QLocale>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

#include "AgainstRows.h"
#include "archive/HistoryChain.h"
#include "archive/RecordedHeads.h"
#include "archive/Schema.h"
#include "archive/SessionArchive.h"
#include "archive/SqlSteps.h"

namespace archive {
namespace {

QString Counted(qint64 count, const char* one, const char* many) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(count) + ' ' +
           (count == 1 ? one : many);
}

// What one archive holds of another's chain from their syncs: its copy of that chain's rows (it
// was a sync's target) and the heads of that chain its own sync rows recorded (it was either
// side).
struct Held {
    QMap<qint64, StoredRow> copy;
    QMap<qint64, RecordedHead> heads; // by the row recorded: the first sync row that recorded it
    qint64 lastRow = 0;               // the newest sync row that recorded a head of it (0: none)
    qint64 lastHead = 0;              // and the head it recorded
    qint64 Copied() const { return copy.isEmpty() ? 0 : copy.lastKey(); }
    qint64 UpTo() const { return std::max(Copied(), heads.isEmpty() ? 0 : heads.lastKey()); }
};

bool ReadHeld(QSqlDatabase& holder, const QString& subject, bool signing, Held& held,
              QString& error) {
    QSqlQuery query(holder);
    query.setForwardOnly(true);
    if (!Run(query, "SELECT seq, detail FROM archive_history WHERE kind = ? ORDER BY seq",
             {ChangeKindName(ChangeKind::Sync)}, error)) {
        return false;
    }
    while (query.next()) {
        RecordedHead head;
        if (ParseRecordedHead(query.value(1).toString(), head) && head.identity == subject) {
            head.row = query.value(0).toLongLong();
            held.lastRow = head.row;
            held.lastHead = head.seq;
            if (!held.heads.contains(head.seq)) {
                held.heads.insert(head.seq, head);
            }
        }
    }
    query.finish();
    return ReadStored(holder, "SELECT %1 FROM origin_history WHERE origin = ? ORDER BY seq",
                      {subject}, signing, held.copy, error);
}

// An archive's own chain up to `upTo`, and the row it ends at.
bool ReadChain(QSqlDatabase& db, qint64 upTo, bool signing, QMap<qint64, StoredRow>& rows,
               qint64& end, QString& error) {
    QString head;
    return ReadStored(db, "SELECT %1 FROM archive_history WHERE seq <= ? ORDER BY seq", {upTo},
                      signing, rows, error) &&
           HistoryHead(db, end, head, error);
}

// How the lines of one direction name its two archives: the one whose own chain is checked (the
// subject) and the one that holds a copy of it or recorded its heads (the holder).
struct Sides {
    QString subject;     // "archive ID's " or "this archive's "
    QString holder;      // "this archive" or "archive ID"
    QString holderWhose; // "this archive's " or "archive ID's "
    bool subjectThere;   // the subject is the other archive, whose rows are "there"
};

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
        QString now;
        if (!HashOfText(r, now)) {
            summary.mismatches << at + ": its list of sessions is unreadable";
        } else if (now != r.hash) {
            summary.mismatches << at + " does not match its own hash (changed since the sync)";
        }
        if (seq > 1 && !before.isEmpty() && r.previous != before) {
            summary.mismatches << at + " does not follow the row before it";
        }
        before = r.hash;
    }
}

// Each row of this archive's own chain that the other holds or recorded, up to where the chain
// ends, but not here: this archive's verify checks the rest of its chain itself.
void NameMissing(const Held& held, const QMap<qint64, StoredRow>& rows, qint64 end,
                 const Sides& sides, AgainstSummary& summary) {
    QList<qint64> wanted = held.copy.keys() + held.heads.keys();
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    for (const qint64 seq : wanted) {
        if (seq <= end && !rows.contains(seq)) {
            summary.mismatches << sides.subject + "history row " + QString::number(seq) +
                                      " is missing (deleted since the sync)";
        }
    }
}

// "archive ID's history ends at row 8, before row 11 that this archive recorded of it at its
// sync in row 40: rows were deleted": the newest of the recorded heads and the rows held of it.
QString EndedBefore(const Sides& sides, qint64 end, const Held& held) {
    const QString ends = end == 0 ? sides.subject + "history holds no row"
                                  : sides.subject + "history ends at row " + QString::number(end);
    if (!held.heads.isEmpty() && held.heads.lastKey() >= held.Copied()) {
        const RecordedHead& head = held.heads.last();
        return QString("%1, before row %2 that %3 recorded of it at its sync in row %4: rows were"
                       " deleted")
            .arg(ends)
            .arg(head.seq)
            .arg(sides.holder)
            .arg(head.row);
    }
    return QString("%1, before row %2 that %3 holds a copy of from a sync: rows were deleted")
        .arg(ends)
        .arg(held.Copied())
        .arg(sides.holder);
}

// Each row of the subject's chain the holder holds a copy of, against the same row there.
void CompareCopy(const QMap<qint64, StoredRow>& copy, const QMap<qint64, StoredRow>& rows,
                 const Sides& sides, AgainstSummary& summary) {
    for (const StoredRow& held : copy) {
        ++summary.rowsCompared;
        const auto found = rows.constFind(held.seq);
        if (found == rows.constEnd()) {
            continue; // named once by the caller: as missing, or past the end of the chain
        }
        if (!(found.value() == held)) {
            const QString how = sides.subjectThere ? HowItDiffers(found.value(), held)
                                                   : HowItDiffers(held, found.value());
            summary.mismatches << QString("%1history row %2 is not the copy %3 took at a sync (%4)")
                                      .arg(sides.subject)
                                      .arg(held.seq)
                                      .arg(sides.holder, how);
        }
    }
}

// Each head of the subject's chain the holder's sync rows recorded, against that row.
void CompareHeads(const QMap<qint64, RecordedHead>& heads, const QMap<qint64, StoredRow>& rows,
                  const Sides& sides, AgainstSummary& summary) {
    for (const RecordedHead& head : heads) {
        ++summary.heads;
        const auto found = rows.constFind(head.seq);
        if (found != rows.constEnd() && found.value().hash != head.hash) {
            summary.mismatches << QString("%1history row %2 is not the head %3history row %4"
                                          " recorded at a sync (%5 it hashes to %6, recorded"
                                          " %7): that history was rewritten")
                                      .arg(sides.subject)
                                      .arg(head.seq)
                                      .arg(sides.holderWhose)
                                      .arg(head.row)
                                      .arg(sides.subjectThere ? "there" : "here",
                                           found.value().hash, head.hash);
        }
    }
}

// One direction: the subject's own chain (`rows`, up to the newest the holder holds or
// recorded, ending at row `end`) against what the holder holds of it. Rows deleted from the end
// leave a chain whole in itself: only what was learnt of it at a sync shows them, named once
// (unless `nameEnd` is false: the caller said it) rather than as each row missing.
void CheckDirection(const Held& held, const QMap<qint64, StoredRow>& rows, qint64 end,
                    const Sides& sides, bool nameEnd, AgainstSummary& summary) {
    CompareCopy(held.copy, rows, sides, summary);
    CompareHeads(held.heads, rows, sides, summary);
    const qint64 upTo = held.UpTo();
    if (nameEnd && upTo > end) {
        summary.mismatches << EndedBefore(sides, end, held);
    }
    if (sides.subjectThere) {
        CheckTheirChain(rows, std::min(upTo, end), sides.subject, summary);
    } else {
        NameMissing(held, rows, end, sides, summary);
    }
}

// The line for two archives of which this one holds no trace of a sync with the other: that they
// never synced only where the other holds none either. Where it does, this archive's rows of the
// sync were taken out, and its history ending before what the other learnt of it says so.
QString NoSyncHere(const Held& theirs, qint64 ownEnd, const QString& other) {
    QString line = "this archive holds no row of " + other + " and recorded no head of its history";
    if (theirs.lastRow == 0 && theirs.Copied() == 0) {
        return line + ": they never synced";
    }
    QStringList shown;
    if (theirs.lastRow != 0) {
        shown << QString("its history row %1 recorded this archive's head row %2 at a sync")
                     .arg(theirs.lastRow)
                     .arg(theirs.lastHead);
    }
    if (theirs.Copied() != 0) {
        shown << QString("it holds this archive's history up to row %1 from a sync")
                     .arg(theirs.Copied());
    }
    const qint64 known = std::max(theirs.lastHead, theirs.Copied());
    return line + ", but they synced (" + shown.join(", and ") + "): " +
           (ownEnd < known ? QString("this archive's history ends at row %1, before row %2: its"
                                     " newest rows were deleted")
                                 .arg(ownEnd)
                                 .arg(known)
                           : QString("what this archive recorded of that sync was deleted or"
                                     " changed"));
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
    const QString ownId = archive.Identity();
    summary.other = QString("archive %1 (identity %2)").arg(other.WhereFromAnywhere(), theirId);
    if (archive.SchemaVersion() < kSyncVersion || theirId.isEmpty()) {
        summary.error = "an archive made before archives were synced has nothing to compare";
        return summary;
    }
    if (ownId == theirId) {
        summary.error = "that is this archive itself";
        return summary;
    }
    QSqlDatabase mine = QSqlDatabase::database(archive.ConnectionName(), false);
    QSqlDatabase theirs = QSqlDatabase::database(other.ConnectionName(), false);
    ReadSnapshot mineRead(mine, archive.IsServer());
    ReadSnapshot theirRead(theirs, other.IsServer());
    const bool signing =
        archive.SchemaVersion() >= kSigningVersion && other.SchemaVersion() >= kSigningVersion;
    Held ofTheirs; // what this archive holds of the other's chain
    Held ofMine;   // and the other of this archive's
    QMap<qint64, StoredRow> theirRows;
    QMap<qint64, StoredRow> ownRows;
    qint64 theirEnd = 0;
    qint64 ownEnd = 0;
    if (!mineRead.Begun(summary.error) || !theirRead.Begun(summary.error) ||
        !ReadHeld(mine, theirId, signing, ofTheirs, summary.error) ||
        !ReadHeld(theirs, ownId, signing, ofMine, summary.error) ||
        !ReadChain(theirs, ofTheirs.UpTo(), signing, theirRows, theirEnd, summary.error) ||
        !ReadChain(mine, ofMine.UpTo(), signing, ownRows, ownEnd, summary.error)) {
        return summary;
    }
    summary.readable = true;
    const QString them = "archive " + theirId;
    const bool nothingHere = ofTheirs.UpTo() == 0;
    if (nothingHere) {
        summary.mismatches << NoSyncHere(ofMine, ownEnd, summary.other);
    } else {
        CheckDirection(ofTheirs, theirRows, theirEnd,
                       {them + "'s ", "this archive", "this archive's ", true}, true, summary);
    }
    // Either side's newest rows deleted since a sync show only against what the other learnt of
    // them: this archive's own chain is held to what the other holds and recorded of it too.
    CheckDirection(ofMine, ownRows, ownEnd, {"this archive's ", them, them + "'s ", false},
                   !nothingHere, summary);
    return summary;
}

} // namespace archive
