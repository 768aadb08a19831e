#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

#include "archive/HistoryRow.h"

namespace archive {

class SessionArchive;

// The archive's audit trail: every change to it is a row of an append-only history, saying when
// (UTC), who (the operating system's user and host; for a sign-off and a personal key's binding,
// the key's printed name and the host), what (instruments by name and serial number), which
// sessions and index uploads with the SHA-256 of their stored bytes, and the hash of the row before
// it. A byte changed in anything an instrument sent, or a history row changed or deleted, outside
// this program breaks that chain, and VerifyArchive finds it.
//
// Each row is signed by its writer's own key (HistorySigning.h): someone who can write the
// database but holds no writer's key can rebuild the hashes, but not the signatures, and a key
// of their own shows as one the team's list of trusted keys does not hold. The newest rows
// deleted are found only against a head pinned before (PinnedHead.h) or an archive synced with.
// Its rows, their kinds and what they say of a session: HistoryRow.h.

// The rows one key signed in one chain (`origin` empty: this archive's own).
struct SignedRows {
    QString origin;
    QString fingerprint;
    QString firstWriter; // "user@host" of the first row it signed
    QString printedName; // a personal key's, as the chain binds it; empty for others
    QVector<qint64> rows;
};

struct VerifySummary {
    bool readable = false; // false: the archive could not be read, `error` says why
    QString error;
    qint64 sessions = 0;
    qint64 indexUploads = 0;
    qint64 replacedCopies = 0; // older copies of sessions, kept with their bytes
    // Copies another archive held of a session, neither extending nor extended by its bytes.
    qint64 conflictingCopies = 0;
    qint64 rows = 0;        // of every chain
    qint64 chains = 0;      // this archive's own, and each other archive's synced into it
    QStringList mismatches; // one line each
    QStringList conflicts;  // one line for each conflicting copy: which session holds it
    // Where each chain's signed rows begin, for chains that have rows from before rows were
    // signed: "history rows 1 to 12 were written before rows were signed; signing starts at row
    // 13".
    QStringList signing;
    // Where each chain's rule that a finished session's bytes never change begins, for chains
    // with rows from before their rows said which sessions were finished.
    QStringList fixing;
    QVector<SignedRows> signedBy; // who signed which rows
    // This archive's sessions that a mismatch concerns, and how many mismatches concern its own
    // chain's rows: what a sign-off of some sessions must not sign over.
    QSet<qint64> faultySessions;
    int chainFaults = 0;
    // What limits a pass, said at the end of Line(): "signatures checked for consistency only: no
    // trusted keys are set" (ApplyTrust, TrustedKeys.h).
    QString trustNote;
    bool Clean() const { return readable && mismatches.isEmpty(); }
    // "Verified: 1,234 sessions, 40 index uploads, 2 replaced copies and 56 history rows, no
    // mismatch", or "Verification failed: 2 mismatches in ..." the same; conflicting copies, and
    // the chains of other archives ("in 3 chains"), where there are any; then "; " and the
    // trust note where there is one.
    QString Line() const;
};

// Appends one row to the open archive's history in a transaction of its own; `sessions` are
// session ids whose stored bytes it records. For changes made elsewhere in the archive library
// inside a transaction, the row belongs in that same transaction instead (HistoryChain.h).
bool RecordChange(SessionArchive& archive, ChangeKind kind, const QString& detail,
                  const QVector<qint64>& sessions, QString& error);

// The history, oldest row first.
bool History(SessionArchive& archive, const std::function<void(const HistoryRow&)>& take,
             QString& error);
QVector<HistoryRow> History(SessionArchive& archive, QString& error);
// The chain of the other archive `origin` (its identity) as syncs took it in, oldest row first;
// this archive's own for an empty `origin`. No row: the archive holds no chain of that archive.
bool ChainHistory(SessionArchive& archive, const QString& origin,
                  const std::function<void(const HistoryRow&)>& take, QString& error);

// Recomputes the hash of every stored block an instrument sent (sessions, index uploads, replaced
// copies) and the chain, in one consistent read of the archive.
VerifySummary VerifyArchive(SessionArchive& archive);

// Of the archived sessions `ids`, those whose stored bytes are not the ones this archive's history
// says they hold (or that no row names): what a report or an export of them must warn of.
bool SessionsAgainstHistory(SessionArchive& archive, const QVector<qint64>& ids,
                            QSet<qint64>& failing, QString& error);
// What every view says of such a session: "these bytes do not match the history".
QString BytesNotInHistoryText();

} // namespace archive
