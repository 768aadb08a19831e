#pragma once

#include <QHash>
#include <QString>

#include "archive/ArchiveSync.h"

class QSqlDatabase;

namespace archive {

// Who the source of a sync is, as the target's rows name it.
struct SyncParty {
    QString identity;
    QString where; // never with a password
    QString label; // its file's or database's name: what an instrument renamed after it carries
    // "archive WHERE (identity ID)"
    QString Words() const;
};

// Files every instrument of `sourceDb` under its instrument in `targetDb` (the one it is, or a new
// one with the source's identity of it, renamed after the source where its name is taken) and
// takes the source's service interval settings the target has not set, in the caller's open
// transaction on the target (whose archive identity is `targetIdentity`); `map` is filled with
// source id -> target id.
bool SyncInstruments(QSqlDatabase& sourceDb, QSqlDatabase& targetDb, bool targetServer,
                     const SyncParty& source, const QString& targetIdentity,
                     QHash<qint64, qint64>& map, SyncSummary& summary, QString& error);

} // namespace archive
