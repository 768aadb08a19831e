#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include "archive/HistoryRow.h"

class QSqlDatabase;

namespace archive {

class SigningKey;

// A row a person signs with their personal key (a sign-off, the key's binding): it names the key's
// printed name as its writer, never the operating-system user.
struct PersonalWriter {
    QString name;
    const SigningKey* key = nullptr;
};

// The SHA-256 (hex) of a session's stored bytes: its index name, sector and overrun, each after
// its length, so that no byte can move from one to the next unnoticed.
QString StoredBytesHash(const QByteArray& name, const QByteArray& sector,
                        const QByteArray& overrun);

// The SHA-256 (hex) of an index upload's bytes.
QString IndexBytesHash(const QByteArray& bytes);

// The hash a row must carry: over its number, time, user, host, kind, detail, sessions, index
// uploads and the row before's hash.
QString RowHash(const HistoryRow& row);

// Exactly `digits` lower-case hex digits.
bool IsLowerHex(const QString& text, int digits);
// 64 lower-case hex digits: a SHA-256 or a public key as the history writes them.
bool IsHex64(const QString& text);
// 32 lower-case hex digits: an instrument's identity as every archive gives it.
bool IsInstrumentUid(const QString& text);

// What a row says of a session the archive holds, by its `complete` column.
SessionState StateOfComplete(bool complete);

// The sessions column: "ID SHA256 STATE INSTRUMENT" lines for sessions (rows written before the
// instrument was named: "ID SHA256 STATE"; before the state was said: "ID SHA256"), then "index ID
// SHA256" lines for index uploads (rows written before index uploads were recorded have none, and
// so hash as they did). False when the text is not that.
QString SessionsText(const QVector<HistorySession>& sessions,
                     const QVector<HistorySession>& indexUploads);
bool ParseSessionsText(const QString& text, QVector<HistorySession>& sessions,
                       QVector<HistorySession>& indexUploads);

// What a history row calls an instrument: "NAME" with ", serial number S" where it has one, else
// "serial number S", else "unnamed ID".
QString InstrumentWords(const QString& name, const QString& serial, qint64 id);
// The same, read from the instrument's row.
bool DescribeInstrument(QSqlDatabase& db, qint64 instrument, QString& words, QString& error);

// The sessions `sessions` as a row records them now: the hash of the bytes each holds and whether
// it is finished (its column says so, or its history fixed it: SessionFixed.h), appended to
// `recorded`.
bool RecordedNow(QSqlDatabase& db, const QVector<qint64>& sessions,
                 QVector<HistorySession>& recorded, QString& error);

// Takes the history's lock on a server, held to the end of the caller's transaction (AppendHistory
// takes it too), for a writer that reads the history before it appends to it.
bool LockHistory(QSqlDatabase& db, bool server, QString& error);

// Appends a row inside the caller's open write transaction, so that the change and its record
// commit together or not at all. On a server the history's own lock is held from here to the
// end of the transaction, so that two writers never both take the same row as the one before.
bool AppendHistory(QSqlDatabase& db, bool server, ChangeKind kind, const QString& detail,
                   const QVector<qint64>& sessions, QString& error);
// The same, naming index uploads (their ids) beside the sessions; signed by `personal` when given.
bool AppendHistory(QSqlDatabase& db, bool server, ChangeKind kind, const QString& detail,
                   const QVector<qint64>& sessions, const QVector<qint64>& indexUploads,
                   QString& error, const PersonalWriter* personal = nullptr);

// The same with the hashes given: a session may be named more than once, each copy of it kept
// (a replaced or conflicting copy) before the bytes it holds now, which come last. Every row is
// signed with this user's key (an archive opened at a schema before signing: not), or with
// `personal`'s, and a key first used is kept with the row; a key that cannot be read or made, or
// is not private, fails the row and with it the change. A key file found missing and made anew,
// where the archive holds another key of this user and host, is said on standard error: the work
// goes on (unattended work must), but the new key is not the one the team trusts.
bool AppendRecorded(QSqlDatabase& db, bool server, ChangeKind kind, const QString& detail,
                    const QVector<HistorySession>& sessions,
                    const QVector<HistorySession>& indexUploads, QString& error,
                    const PersonalWriter* personal = nullptr);

// This computer's name as the rows give it.
QString HostName();

// Keeps the key that signed `row` of the chain `origin` (empty: this archive's own) with that row,
// unless the chain already holds the key.
bool RegisterSigner(QSqlDatabase& db, const QString& origin, const HistoryRow& row, QString& error);

// The newest row's number and hash (0 and empty for an archive without rows); with `until`
// (milliseconds since 1970, UTC), the newest of those written before it.
bool HistoryHead(QSqlDatabase& db, qint64& seq, QString& hash, QString& error, qint64 until = 0);

// Whether a row that starts the history says from which row a sign-off is signed by a personal
// key: None before the schema that holds it; WithStart on the row that begins a chain; Due, for
// the migration that brings it, also on a row of its own where the chain holds none.
enum class PersonalRule { None, WithStart, Due };

// From which row a chain's sign-offs must be signed by personal keys: the first row whose kind is
// "started" and whose text is kPersonalRule or ends with "; " and it. This program writes it in
// the row that begins a new archive's history, and as a row of its own when it first opens an
// archive made before (schema version 12), so that the sign-offs written before keep verifying as
// they did.
extern const char kPersonalRule[];
bool IsPersonalRuleRow(const HistoryRow& row);

// Inside the caller's write transaction: begins the history of an archive that has none yet (new,
// or made before it existed) with a row naming every session and index upload it holds; for one
// whose history began before index uploads were recorded, a row naming the index uploads it holds
// (history_start's 1 and 2; any other value is left as it is). The row says the personal keys'
// rule as `rule` says, once per chain. A start that no migration of this opening (`migratedNow`)
// asked for is acted on only for an archive that holds nothing yet. Nothing to do: no row.
bool BeginHistory(QSqlDatabase& db, bool server, bool migratedNow, PersonalRule rule,
                  QString& error);
// The same in its own transaction, taken only when history_start asks for a start.
bool StartHistory(QSqlDatabase& db, bool server, bool migratedNow, PersonalRule rule,
                  QString& error);

} // namespace archive
