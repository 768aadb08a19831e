#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include "archive/ArchiveHistory.h"

class QSqlDatabase;

namespace archive {

// The SHA-256 (hex) of a session's stored bytes: its index name, sector and overrun, each after
// its length, so that no byte can move from one to the next unnoticed.
QString StoredBytesHash(const QByteArray& name, const QByteArray& sector,
                        const QByteArray& overrun);

// The hash a row must carry: over its number, time, user, host, kind, detail, sessions and the
// row before's hash.
QString RowHash(const HistoryRow& row);

// The sessions column: "ID SHA256" lines. False when the text is not that.
QString SessionsText(const QVector<HistorySession>& sessions);
bool ParseSessionsText(const QString& text, QVector<HistorySession>& sessions);

// Appends a row inside the caller's open write transaction, so that the change and its record
// commit together or not at all. On a server the history's own lock is held from here to the
// end of the transaction, so that two writers never both take the same row as the one before.
bool AppendHistory(QSqlDatabase& db, bool server, ChangeKind kind, const QString& detail,
                   const QVector<qint64>& sessions, QString& error);

// Begins the history of an archive that has none yet (new, or made before it existed) with a row
// naming every session it holds; does nothing once begun. Its own transaction.
bool StartHistory(QSqlDatabase& db, bool server, QString& error);

} // namespace archive
