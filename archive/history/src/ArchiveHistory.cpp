// The history as the archive's users see it: a change recorded on its own, the rows listed, and
// the whole archive checked against them.
#include "archive/ArchiveHistory.h"

#include <QCryptographicHash>
#include <QHash>
#include <QLocale>
#include <QPair>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <vector>

#include "PersonalSignOffs.h"
#include "archive/ChainRecords.h"
#include "archive/ChainRows.h"
#include "archive/HistoryChain.h"
#include "archive/KeyBinding.h"
#include "archive/Schema.h"
#include "archive/SessionArchive.h"
#include "archive/SessionGrowth.h"
#include "archive/SessionWords.h"
#include "archive/SqlSteps.h"

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

// Where a chain's rows begin to say which sessions were finished, for a chain that named sessions
// before: from there on a finished session's bytes are fixed.
void FixingLine(const QString& whose, const ChainRecords& records, VerifySummary& summary) {
    const qint64 first = records.FirstStated();
    if (records.FirstNaming() == 0 || first == records.FirstNaming()) {
        return;
    }
    summary.fixing << (first == 0 ? QString("%1history rows 1 to %2 were written before a finished"
                                            " session's bytes were fixed; the rule applies from"
                                            " the next row")
                                        .arg(whose)
                                        .arg(records.Newest())
                                  : QString("%1history rows 1 to %2 were written before a finished"
                                            " session's bytes were fixed; the rule applies from"
                                            " row %3")
                                        .arg(whose)
                                        .arg(first - 1)
                                        .arg(first));
}

// One chain: each row follows the one before and matches its own hash. Only this archive's own
// (`origin` empty) names its sessions: another archive's rows name that archive's, which the
// copies a sync took from it are checked against.
void CheckChain(QSqlDatabase& db, const QString& origin, bool signing, VerifySummary& summary,
                ChainRecords& records, QString& error, QHash<qint64, QString>* hashes = nullptr) {
    const QString whose = origin.isEmpty() ? QString() : "archive " + origin + "'s ";
    ++summary.chains;
    ChainRows rows(whose + "history row", signing);
    PersonalSignOffs personal;
    if (!rows.Load(db, origin, error)) {
        summary.readable = false;
        return;
    }
    const bool read = ReadChainRows(
        db, origin, signing, 0,
        [&](const HistoryRow& row, const RowReading& reading) {
            ++summary.rows;
            rows.Check(row, reading, summary.mismatches);
            if (signing) {
                personal.Check(row, rows.At(row), summary.mismatches);
            }
            records.Add(row, &summary.mismatches,
                        origin.isEmpty() ? &summary.faultySessions : nullptr, whose);
            if (hashes != nullptr) {
                hashes->insert(row.seq, row.hash);
            }
        },
        error);
    if (!read) {
        summary.readable = false;
        return;
    }
    if (signing) {
        rows.Signatures().Finish(whose, personal, summary);
        personal.Finish(whose, summary);
        if (origin.isEmpty() && ReadSchemaVersion(db, error) >= kPersonalSignOffVersion) {
            personal.RequireRule(summary);
        }
    }
    FixingLine(whose, records, summary);
}

// What this archive's own signed sync rows recorded of other archives' histories, against the
// copies of them held here: a chain taken up to a row still reaches it, and a head a sync read is
// still that row. A held chain cut short, taken out, renamed or rebuilt no longer is. A head of a
// chain not (yet) taken up to it is not checked: a sync stopped before its end takes it next.
void CheckTakenChains(const ChainRecords& records, const QHash<QString, ChainRecords>& theirs,
                      const QHash<QString, QHash<qint64, QString>>& hashes,
                      VerifySummary& summary) {
    for (const ChainRecords::TakenChain& taken : records.Taken()) {
        const auto held = theirs.constFind(taken.identity);
        if (held == theirs.constEnd()) {
            summary.mismatches << QString("history row %1 recorded archive %2's history taken up to"
                                          " its row %3, but no copy of that history is held here"
                                          " (taken out, or its identity changed)")
                                      .arg(taken.row)
                                      .arg(taken.identity)
                                      .arg(taken.upTo);
        } else if (held->Newest() < taken.upTo) {
            summary.mismatches << QString("history row %1 recorded archive %2's history taken up to"
                                          " its row %3, but the copy held here ends at its row %4"
                                          " (rows were deleted)")
                                      .arg(taken.row)
                                      .arg(taken.identity)
                                      .arg(taken.upTo)
                                      .arg(held->Newest());
        } else {
            continue;
        }
        ++summary.chainFaults;
    }
    for (const RecordedHead& head : records.Heads()) {
        const QString held = hashes.value(head.identity).value(head.seq);
        if (!held.isEmpty() && held != head.hash) {
            summary.mismatches << QString("history row %1 recorded archive %2's head as its row %3,"
                                          " %4, but the copy of that history held here carries"
                                          " %5 for that row (changed after the sync)")
                                      .arg(head.row)
                                      .arg(head.identity)
                                      .arg(head.seq)
                                      .arg(head.hash, held);
            ++summary.chainFaults;
        }
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

// A byte column holds bytes: one rewritten as text (or as a number) reads back as other bytes in
// every reader, each in its own way, and was not written by this program. PostgreSQL keeps the
// column's type; SQLite keeps each value's own, which `typeof` tells.
QString StorageClass(bool server, const QString& column) {
    return server ? QStringLiteral("'blob'") : "typeof(" + column + ")";
}

bool HeldAsBytes(const QString& at, const QSqlQuery& query, int first,
                 std::initializer_list<const char*> columns, VerifySummary& summary) {
    bool held = true;
    int i = first;
    for (const char* column : columns) {
        const QString kind = query.value(i++).toString();
        if (kind != "blob" && kind != "null") {
            summary.mismatches << QString("%1's %2 is stored as %3, not as bytes (rewritten"
                                          " outside this program)")
                                      .arg(at, column, kind);
            held = false;
        }
    }
    return held;
}

// The columns the rows do not hash but the last row naming the session states: its instrument
// and whether it is finished. Moved to another instrument, or marked open again, behind the
// program's back, the session would be credited to a unit that did not record it, or grown.
bool AsLastRecorded(const QString& at, const ChainRecords::Last& last, const QString& uid,
                    bool complete, VerifySummary& summary) {
    bool held = true;
    if (!last.instrument.isEmpty() && last.instrument != uid) {
        summary.mismatches << QString("%1 is filed under the instrument %2, history row %3"
                                      " recorded it under %4 (moved outside this program)")
                                  .arg(at, uid.isEmpty() ? QString("without an identity") : uid)
                                  .arg(last.instrumentRow)
                                  .arg(last.instrument);
        held = false;
    }
    const bool stated = last.state == SessionState::Open || last.state == SessionState::Finished;
    if (stated && complete != (last.state == SessionState::Finished)) {
        summary.mismatches << QString("%1 is marked %2, history row %3 recorded it %4 (its"
                                      " complete column was changed outside this program)")
                                  .arg(at, complete ? "finished" : "open")
                                  .arg(last.row)
                                  .arg(SessionStateName(last.state));
        held = false;
    }
    return held;
}

void CheckSessions(QSqlDatabase& db, bool server, bool uids, VerifySummary& summary,
                   const ChainRecords& records, QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             QString("SELECT s.id, s.name, b.sector, b.overrun, s.digest, %1, s.complete, %2, %3,"
                     " %4 FROM sessions s LEFT JOIN session_bytes b ON b.session_id = s.id"
                     " LEFT JOIN instruments i ON i.id = s.instrument_id ORDER BY s.id")
                 .arg(uids ? "i.uid" : "''", StorageClass(server, "s.name"),
                      StorageClass(server, "b.sector"), StorageClass(server, "b.overrun")),
             {}, error)) {
        summary.readable = false;
        return;
    }
    // What was recorded and not found is left here at the end.
    QHash<qint64, Recorded> unfound = records.Sessions();
    while (query.next()) {
        ++summary.sessions;
        const qint64 id = query.value(0).toLongLong();
        const QString at = "session " + QString::number(id);
        Recorded r;
        if (!TakeRecorded(unfound, id, at, summary, r)) {
            summary.faultySessions.insert(id);
            continue;
        }
        if (query.value(2).isNull()) {
            summary.mismatches << at + "'s stored bytes are missing";
            summary.faultySessions.insert(id);
            continue;
        }
        const ChainRecords::Last* last = records.LastOf(id);
        if (!HeldAsBytes(at, query, 7, {"name", "sector", "overrun"}, summary) ||
            (last != nullptr && !AsLastRecorded(at, *last, query.value(5).toString(),
                                                query.value(6).toInt() != 0, summary))) {
            summary.faultySessions.insert(id);
        }
        QString now;
        const BytesCheck check =
            CheckStoredBytes(records, id, query.value(1).toByteArray(),
                             query.value(2).toByteArray(), query.value(3).toByteArray(), now, r);
        // The digest that tells a session's copies apart is the sector's alone; one changed
        // would let the same bytes be stored twice, or other bytes pass for these.
        if (Sha256(query.value(2).toByteArray()) != query.value(4).toString()) {
            summary.mismatches << at + ": its digest column does not match its sector";
            summary.faultySessions.insert(id);
        }
        if (check == BytesCheck::Differs) {
            CompareRecorded(at, now, r, summary);
            summary.faultySessions.insert(id);
        }
    }
    ReportUnfound("session", unfound, summary);
}

void CheckIndexUploads(QSqlDatabase& db, bool server, VerifySummary& summary,
                       QHash<qint64, Recorded> recorded, QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             "SELECT id, bytes, " + StorageClass(server, "bytes") +
                 " FROM index_uploads ORDER BY id",
             {}, error)) {
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
        HeldAsBytes(at, query, 2, {"bytes"}, summary);
        CompareRecorded(at, now, r, summary);
    }
    ReportUnfound("index upload", recorded, summary);
}

// A replaced copy was the session's stored bytes once (every copy is checked, also one whose
// session or instrument row is gone): the chain recorded its hash then (or at the
// history's start). Copies replaced before their bytes were kept have none to check. A copy a sync
// took from another archive (a conflicting one, or one that archive had replaced) is checked
// against that archive's history too, which this one holds once the sync took it: bytes that
// archive never recorded were not what it held.
struct KeptCopy {
    qint64 session = 0;
    bool conflict = false;
    QByteArray name;
    QByteArray sector;
    QString at;
};

// A copy kept as replaced is one the session grew from: its bytes grow into the session's now or
// into another copy it keeps (one a sync took beside it). One that grows into none was kept
// beside it as conflicting, and its flag, which no hash covers, was changed.
bool ReplacedGrowInto(QSqlDatabase& db, const std::vector<KeptCopy>& kept, VerifySummary& summary,
                      QString& error) {
    QSqlQuery now(db);
    for (const KeptCopy& c : kept) {
        if (c.conflict) {
            continue;
        }
        bool grows = false;
        for (const KeptCopy& other : kept) {
            grows = grows || (other.session == c.session &&
                              Grows(c.name, c.sector, other.name, other.sector));
        }
        if (!grows) {
            if (!Run(now,
                     "SELECT s.name, b.sector FROM sessions s JOIN session_bytes b"
                     " ON b.session_id = s.id WHERE s.id = ?",
                     {c.session}, error)) {
                return false;
            }
            grows = now.next() &&
                    Grows(c.name, c.sector, now.value(0).toByteArray(), now.value(1).toByteArray());
            now.finish();
        }
        if (!grows) {
            summary.mismatches << c.at + " is kept as replaced, but its bytes grow into none the"
                                         " session holds (its conflict flag was changed outside"
                                         " this program)";
            summary.faultySessions.insert(c.session);
        }
    }
    return true;
}

// A kept copy's bytes (`at` names the copy) against the chains: recorded for its session by this
// archive's own, and, for bytes a sync took, by the chain of the archive they came from. `now`
// gets their hash.
void CheckCopyRecorded(const QString& at, qint64 session, const QByteArray& name,
                       const QByteArray& sector, const QByteArray& overrun,
                       const ChainRecords& records, const QHash<QString, ChainRecords>& origins,
                       QString& now, VerifySummary& summary) {
    if (!CopyRecorded(records, session, name, sector, overrun, now)) {
        summary.mismatches << QString("%1: its stored bytes hash to %2, which no history row"
                                      " recorded for that session")
                                  .arg(at, now);
        summary.faultySessions.insert(session);
    }
    RecordedHead from;
    if (records.CameWith(session, now, from)) {
        const auto theirs = origins.constFind(from.identity);
        // Their rows up to the head the sync read come with the sync's end: until then there is
        // nothing to check against.
        if (theirs != origins.constEnd() && theirs.value().Newest() >= from.seq &&
            !theirs.value().RecordedAnywhere(now)) {
            summary.mismatches << QString("%1: its stored bytes hash to %2, which the history of"
                                          " archive %3, whose copy history row %4 took, never"
                                          " recorded")
                                      .arg(at, now, from.identity)
                                      .arg(from.row);
        }
    }
}

void CheckReplacedCopies(QSqlDatabase& db, bool server, bool conflicts, VerifySummary& summary,
                         const ChainRecords& records, const QHash<QString, ChainRecords>& origins,
                         QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             QString("SELECT h.id, h.session_id, h.name, h.sector, h.overrun, h.digest, %1, %2,"
                     " %3, %4, %5 FROM session_history h LEFT JOIN sessions s"
                     " ON s.id = h.session_id LEFT JOIN instruments i ON i.id = s.instrument_id"
                     " WHERE h.sector IS NOT NULL ORDER BY h.id")
                 .arg(conflicts ? "h.conflict" : "0", SessionWordsColumns(),
                      StorageClass(server, "h.name"), StorageClass(server, "h.sector"),
                      StorageClass(server, "h.overrun")),
             {}, error)) {
        summary.readable = false;
        return;
    }
    // Each copy a row named as kept is still held; no copy is held twice.
    QHash<QString, qint64> unheld = records.Copies();
    QHash<QString, QString> held; // "ID SHA256": the copy holding it
    std::vector<KeptCopy> kept;
    while (query.next()) {
        const qint64 session = query.value(1).toLongLong();
        const bool conflict = query.value(6).toInt() != 0;
        const QString words =
            SessionWords(session, query.value(7).toString(), query.value(8).toInt() != 0,
                         query.value(9).toString(), query.value(10).toString());
        const QString copy = QString::number(query.value(0).toLongLong());
        if (conflict) {
            ++summary.conflictingCopies;
            summary.conflicts << QString("%1 holds a conflicting copy (%2), kept beside it:"
                                         " other bytes for it that neither grow nor match its"
                                         " own")
                                     .arg(words, copy);
        } else {
            ++summary.replacedCopies;
        }
        const QString at = conflict ? QString("the conflicting copy %1 of %2").arg(copy, words)
                                    : QString("the copy of %1 replaced as %2").arg(words, copy);
        const QByteArray sector = query.value(3).toByteArray();
        if (!HeldAsBytes(at, query, 11, {"name", "sector", "overrun"}, summary)) {
            summary.faultySessions.insert(session);
        }
        QString now;
        CheckCopyRecorded(at, session, query.value(2).toByteArray(), sector,
                          query.value(4).toByteArray(), records, origins, now, summary);
        if (Sha256(sector) != query.value(5).toString()) {
            summary.mismatches << at + ": its digest column does not match its sector";
            summary.faultySessions.insert(session);
        }
        const QString key = QString::number(session) + ' ' + now;
        unheld.remove(key);
        if (held.contains(key)) {
            summary.mismatches << QString("%1 holds the same bytes as its copy %2 (a copy held"
                                          " twice)")
                                      .arg(at, held.value(key));
            summary.faultySessions.insert(session);
        }
        held.insert(key, copy);
        kept.push_back({session, conflict, query.value(2).toByteArray(), sector, at});
    }
    if (!ReplacedGrowInto(db, kept, summary, error)) {
        summary.readable = false;
    }
    for (auto gone = unheld.constBegin(); gone != unheld.constEnd(); ++gone) {
        const QStringList words = gone.key().split(' ');
        summary.mismatches << QString("history row %1 names a copy of session %2 kept beside it"
                                      " (%3), which the archive no longer holds (taken out)")
                                  .arg(gone.value())
                                  .arg(words.value(0), words.value(1));
        summary.faultySessions.insert(words.value(0).toLongLong());
    }
}

// The bytes a session holds now and those of the copies it replaced, by their hash: what a row
// that recorded it grown is checked against.
bool HeldBytes(QSqlDatabase& db, bool conflicts, qint64 session,
               QHash<QString, QPair<QByteArray, QByteArray>>& held, QString& error) {
    held.clear();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             QString("SELECT s.name, b.sector, b.overrun FROM sessions s"
                     " JOIN session_bytes b ON b.session_id = s.id WHERE s.id = ?"
                     " UNION ALL SELECT h.name, h.sector, h.overrun FROM session_history h"
                     " WHERE h.session_id = ? AND h.sector IS NOT NULL%1")
                 .arg(conflicts ? " AND h.conflict = 0" : ""),
             {session, session}, error)) {
        return false;
    }
    while (query.next()) {
        const QByteArray name = query.value(0).toByteArray();
        const QByteArray sector = query.value(1).toByteArray();
        held.insert(StoredBytesHash(name, sector, query.value(2).toByteArray()), {name, sector});
    }
    return true;
}

// Each row that recorded an open session grown: the bytes it grew from must be kept, and the new
// ones must extend them. Bytes that no longer hash to what the row recorded are told by the
// sessions' and copies' own checks.
void CheckGrowth(QSqlDatabase& db, bool conflicts, VerifySummary& summary,
                 const ChainRecords& records, QString& error) {
    QHash<QString, QPair<QByteArray, QByteArray>> held;
    qint64 loaded = 0;
    for (const Growth& g : records.Growths()) {
        if (g.session != loaded && !HeldBytes(db, conflicts, g.session, held, error)) {
            summary.readable = false;
            return;
        }
        loaded = g.session;
        const auto from = held.constFind(g.from);
        const auto to = held.constFind(g.to);
        const QString at =
            QString("history row %1 records session %2 grown").arg(g.row).arg(g.session);
        if (from == held.constEnd()) {
            summary.mismatches << QString("%1, but the archive holds no copy of the bytes it grew"
                                          " from (%2)")
                                      .arg(at, g.from);
        } else if (to != held.constEnd() &&
                   !Grows(from->first, from->second, to->first, to->second)) {
            summary.mismatches
                << QString("%1 to bytes that do not extend the ones it had (%2)").arg(at, g.from);
        } else {
            continue;
        }
        summary.faultySessions.insert(g.session);
    }
}

// Each other archive's chain that syncs took in, as this archive holds it.
void CheckOriginChains(QSqlDatabase& db, bool signing, VerifySummary& summary,
                       QHash<QString, ChainRecords>& theirs,
                       QHash<QString, QHash<qint64, QString>>& theirHashes) {
    QStringList origins;
    QSqlQuery query(db);
    summary.readable =
        Run(query, "SELECT DISTINCT origin FROM origin_history ORDER BY origin", {}, summary.error);
    while (summary.readable && query.next()) {
        origins << query.value(0).toString();
    }
    for (const QString& origin : origins) {
        if (summary.readable) {
            CheckChain(db, origin, signing, summary, theirs[origin], summary.error,
                       &theirHashes[origin]);
        }
    }
}

// What the history's start and its rows' count say: a start asked for again, a value no migration
// writes, or no rows at all.
void CheckHistoryStart(QSqlDatabase& db, VerifySummary& summary) {
    // Every opening begins the history, or continues it: a start still asked for was asked
    // for behind the program's back, and no rows at all means they were deleted.
    QSqlQuery pending(db);
    summary.readable = Run(pending, "SELECT COUNT(*) FROM history_start WHERE pending IN (1, 2)",
                           {}, summary.error) &&
                       pending.next();
    if (summary.readable && pending.value(0).toLongLong() > 0) {
        summary.mismatches << "history_start asks for the history to be begun again, which no"
                              " migration asked for (written outside this program): the"
                              " archive's bytes would be recorded afresh";
        ++summary.chainFaults;
    }
    // Only those two values are the migrations': the program leaves any other as it is.
    summary.readable =
        summary.readable && Run(pending,
                                "SELECT DISTINCT pending FROM history_start WHERE pending NOT IN"
                                " (1, 2) ORDER BY pending",
                                {}, summary.error);
    while (summary.readable && pending.next()) {
        const QString value = pending.value(0).toString();
        bool whole = false;
        value.toLongLong(&whole);
        summary.mismatches << QString("history_start holds the value %1, which no version of"
                                      " this program writes (written outside this program)")
                                  .arg(whole ? value : QuotedName(value));
        ++summary.chainFaults;
    }
    if (summary.readable && summary.rows == 0) {
        summary.mismatches << "the history is empty: its rows were deleted";
        ++summary.chainFaults;
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
    const QString note = trustNote.isEmpty() ? QString() : "; " + trustNote;
    if (mismatches.isEmpty()) {
        return "Verified: " + what + ", no mismatch" + note;
    }
    return "Verification failed: " + Counted(mismatches.size(), "mismatch", "mismatches") + " in " +
           what + note;
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
    return ReadChainRows(
        db, QString(), archive.SchemaVersion() >= kSigningVersion, 0,
        [&take](const HistoryRow& row, const RowReading&) { take(row); }, error);
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
    return ReadChainRows(
        db, origin, archive.SchemaVersion() >= kSigningVersion, 0,
        [&take](const HistoryRow& row, const RowReading&) { take(row); }, error);
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
    QHash<QString, ChainRecords> theirs;                // each other archive's chain held here
    QHash<QString, QHash<qint64, QString>> theirHashes; // and its rows' hashes, by row
    const bool signing = archive.SchemaVersion() >= kSigningVersion;
    CheckChain(db, QString(), signing, summary, records, summary.error);
    summary.chainFaults = summary.mismatches.size();
    const bool synced = archive.SchemaVersion() >= kSyncVersion;
    if (summary.readable && synced) {
        CheckOriginChains(db, signing, summary, theirs, theirHashes);
    }
    if (summary.readable) {
        CheckHistoryStart(db, summary);
    }
    if (summary.readable && synced) {
        CheckTakenChains(records, theirs, theirHashes, summary);
    }
    if (summary.readable) {
        CheckSessions(db, server, archive.SchemaVersion() >= kInstrumentUidVersion, summary,
                      records, summary.error);
    }
    // An archive opened at a schema before the index uploads and replaced copies were recorded
    // has nothing of them to check.
    if (summary.readable && archive.SchemaVersion() >= kAllBytesVersion) {
        CheckIndexUploads(db, server, summary, records.IndexUploads(), summary.error);
        if (summary.readable) {
            CheckReplacedCopies(db, server, synced, summary, records, theirs, summary.error);
        }
        if (summary.readable) {
            CheckGrowth(db, synced, summary, records, summary.error);
        }
    }
    QString ignored;
    Exec(db, "ROLLBACK", ignored);
    return summary;
}

QString BytesNotInHistoryText() {
    return QStringLiteral("these bytes do not match the history");
}

bool SessionsAgainstHistory(SessionArchive& archive, const QVector<qint64>& ids,
                            QSet<qint64>& failing, QString& error) {
    failing.clear();
    if (!Opened(archive, error)) {
        return false;
    }
    QSqlDatabase db = DbOf(archive);
    ChainRecords records;
    QStringList faults;
    QSet<qint64> faulty;
    if (!ReadChainRows(
            db, QString(), archive.SchemaVersion() >= kSigningVersion, 0,
            [&](const HistoryRow& row, const RowReading&) { records.Add(row, &faults, &faulty); },
            error)) {
        return false;
    }
    QSqlQuery query(db);
    if (!query.prepare("SELECT s.name, b.sector, b.overrun FROM sessions s"
                       " JOIN session_bytes b ON b.session_id = s.id WHERE s.id = ?")) {
        error = "cannot read the archive's sessions";
        return false;
    }
    for (const qint64 id : ids) {
        query.bindValue(0, id);
        if (!Run(query, error)) {
            return false;
        }
        QString now;
        Recorded recorded;
        if (!query.next()) {
            continue; // not archived: the caller's to say
        }
        if (faulty.contains(id) ||
            CheckStoredBytes(records, id, query.value(0).toByteArray(),
                             query.value(1).toByteArray(), query.value(2).toByteArray(), now,
                             recorded) != BytesCheck::Matches) {
            failing.insert(id);
        }
        query.finish();
    }
    return true;
}

} // namespace archive
