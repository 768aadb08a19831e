#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

#include "archive/SessionArchive.h"

class QSqlDatabase;
class QSqlQuery;

namespace archive {

// One stored copy of a session: the session's row and the bytes it holds.
struct StoredCopy {
    qint64 id = 0; // the session's
    QString digest;
    qint64 firstSeen = 0;
    QByteArray name;
    QByteArray sector;
    QByteArray overrun;
};

// The SHA-256 (hex) of a sector: what tells a session's copies apart.
QString SectorDigest(const QByteArray& sector);

// Stores one session inside the caller's transaction: new, seen again, or replacing the copy of
// it that was still being recorded. `stored` is the id of the session row it made or replaced.
StoreResult StoreSession(QSqlDatabase& db, qint64 instrument, qint64 download, bool keepCopies,
                         const CapturedSession& s, qint64& stored, QString& error);

// The session `old.id` holds the bytes of `s` from now on; `old` is kept as its replaced copy
// (with its bytes when `keepCopies`). `lost`: the session no longer held `old` (another writer
// replaced it first), and nothing was written.
StoreResult ReplaceCopy(QSqlDatabase& db, bool keepCopies, const StoredCopy& old,
                        const CapturedSession& s, qint64 download, bool& lost, QString& error);

// Keeps `copy` beside its session `copy.id` in the session's history: a replaced copy, or with
// `conflict` a copy that another archive held and that neither extends nor is extended by the
// session's bytes.
bool KeepCopy(QSqlDatabase& db, bool keepBytes, const StoredCopy& copy, qint64 download,
              bool conflict, QString& error);

// Stores sessions that the caller found the archive does not hold, in its open transaction, each
// with two statements prepared once for them all: a sync's batch of new sessions, where a round
// trip to a server per statement is what the time goes on.
class NewSessions {
public:
    explicit NewSessions(QSqlDatabase& db);
    // `stored`: the new row's id, or -1 when the same bytes are there after all (another writer
    // stored them first), for StoreSession to settle. `firstSeen`: when it was first seen
    // anywhere, if before now.
    bool Insert(qint64 instrument, qint64 download, const CapturedSession& s, qint64 firstSeen,
                qint64& stored, QString& error);

private:
    QSqlDatabase& m_db;
    std::unique_ptr<QSqlQuery> m_session;
    std::unique_ptr<QSqlQuery> m_bytes;
};

} // namespace archive
