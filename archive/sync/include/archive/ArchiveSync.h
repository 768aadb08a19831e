#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "archive/SyncStop.h"

namespace archive {

class SessionArchive;

// How a sync runs: how many sessions each transaction takes, and whom it tells.
struct SyncOptions {
    int batchSessions = 500;
    // After each batch committed: sessions of the source looked at so far, and of all.
    std::function<void(qint64 done, qint64 total)> progress;
    // Called inside each batch's transaction just before it commits (1 for the first batch);
    // false fails that batch: nothing of it is kept and the sync stops there, as if the program
    // had been killed. For the tests of a sync that stopped half way.
    std::function<bool(int batch)> beforeCommit;
    // Asked: the sync stops before its next batch (null: it runs to its end).
    const SyncStop* stop = nullptr;
};

// What one sync took into the target.
struct SyncSummary {
    qint64 instrumentsNew = 0;
    qint64 sessionsNew = 0;
    qint64 sessionsThere = 0;
    // The shorter of two copies of a session, one extending the other (it grew): kept as the
    // session's replaced copy, the longer being the session.
    qint64 grownKept = 0;
    // Copies neither of which extends the other: the target's stays the session, the source's is
    // kept beside it.
    qint64 conflicts = 0;
    qint64 copiesTaken = 0; // replaced or conflicting copies the source kept
    qint64 intervals = 0;   // service interval settings the target had not set
    qint64 historyRows = 0; // rows of the source's history, and of others it holds
    // Sessions and copies not taken, one line each: their bytes are not what the source's own
    // history recorded for them, or (`misfiled`, sessions among them) the source files them under
    // another slot or start than their index entries give (changed there outside this program).
    // The sync is incomplete.
    qint64 refused = 0;
    qint64 misfiled = 0;
    QStringList refusedLines;
    // One line each: an instrument renamed after its archive, a conflicting copy kept.
    QStringList renamed;
    QStringList conflictLines;
    // One line each: an instrument filed under the one here that holds the same sessions, or
    // kept apart because more than one here holds them.
    QStringList shared;
    // The sync was refused before writing anything: a history both archives hold is not the same
    // in both (one of them is a copy of an archive, restored or copied, that went another way).
    bool historiesDisagree = false;
    // The sync was refused before writing anything: a chain the source holds (its own, or
    // another archive's it took in) does not hold row by row: a row does not match its own hash,
    // does not follow the row before, or is not signed as its chain's keys say.
    bool historyUnverified = false;
    // A sync stopped between batches: how many of the source's sessions it had looked at, of all.
    bool stopped = false;
    qint64 sessionsLooked = 0;
    qint64 sessionsTotal = 0;
    // "2 instruments, 412 sessions new, 1,233 already there; 1 grown copy kept as replaced", and
    // "; nothing new" where a sync that ran to its end wrote nothing to either archive.
    QString Line() const;
    // The lines said before it: instruments filed by their sessions or renamed, conflicting
    // copies kept, bytes not taken.
    QStringList Notes() const { return shared + renamed + conflictLines + refusedLines; }
    // The same without that: what a history row records of the sync.
    QString Counts() const;
    // Whether the target was written to: an instrument, session, copy, setting or history row.
    bool Took() const;
    // What a sync that failed with `error` did: "ERROR; nothing was taken", or that what was taken
    // stays and the next sync completes it.
    QString Failed(const QString& error) const;
    // Of a stopped sync: "stopped after 500 of 2,000 sessions; the rest comes with the next sync".
    QString StoppedLine() const;
};

// Takes into `target` every instrument, session (its stored bytes and the copies it replaced),
// service interval setting and history row of `source` that it lacks, and nothing twice: a second
// sync finds everything there and writes nothing to either archive.
//
// Instruments are matched by the identity of its own each carries from the archive it was first
// archived in, else by serial number where both know it, else by fingerprint and name together
// (an instrument known by its name alone, as an import's, is never matched by it), else, for one
// without a serial number, by the sessions it shares (the same slot, start stamp and bytes) with
// one instrument here whose fingerprint does not say otherwise and that no other instrument of the
// source is filed under (a history row and SyncSummary::shared say so; shared with two, it is kept
// apart); one not matched is new, with the source's identity of it, renamed after its archive
// ("NAME (LABEL)") when the target already calls another instrument so. Sessions are matched by
// instrument, slot, start stamp
// and bytes. The same dated session with other bytes on each side: where one copy extends the
// other, the longer is the session and the shorter its replaced copy; where neither does, the
// target's stays the session and the source's is kept beside it as a conflicting copy. Nothing is
// deleted or made older.
//
// A session or copy is taken only with the bytes the source's own history recorded for it (what
// `verify` of the source checks): other bytes are left there and named (SyncSummary::refused), and
// one stored in the source after the sync began is left for the next sync. A session the source
// files under another slot or start than its index entry gives is left there and named too.
//
// Sessions are written in batches, each one transaction with the history row that names them (each
// with the hash of its bytes, and the source's history head): a sync stopped at any point leaves
// the target whole, and the next one goes on from there. The source's own history is kept in the
// target as that archive's chain, exactly as it was written; the source gets a row naming the
// target and its head. A stop asked for (options.stop) ends it before its next batch: false, with
// `summary` what was taken so far and `stopped` set, and `error` its StoppedLine(); the source's
// history is then taken by the next sync. The register's events of the sessions taken are left for
// the register to make from their bytes.
//
// Refused before anything is written where a chain the source holds does not hold row by row
// (summary.historyUnverified: a row changed, taken out or not signed by its signer's key, which
// `error` names), or where a history chain both archives hold is not the same in both
// (summary.historiesDisagree): one is a copy of an archive whose history went another way. Each
// session is stored finished or open as the source's history last stated it, not as its
// `complete` column says.
// When all the source holds new for the target is its own records of their syncs, nothing is
// written (two archives syncing both ways settle).
bool SyncArchive(SessionArchive& source, SessionArchive& target, const SyncOptions& options,
                 SyncSummary& summary, QString& error);

// Gives the archive an identity of its own, made anew, with a history row saying which archive
// it was: for a copy of an archive (a backup restored, a file copied) whose history went another
// way, which a sync refuses as that archive. `was`: its identity before; `made`: the new one.
bool NewArchiveIdentity(SessionArchive& archive, QString& was, QString& made, QString& error);

} // namespace archive
