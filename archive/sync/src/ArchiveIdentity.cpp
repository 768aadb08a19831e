// A copy of an archive made an archive of its own: a new identity, recorded in its history.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include "archive/ArchiveHistory.h"
#include "archive/ArchiveSync.h"
#include "archive/HistoryChain.h"
#include "archive/SessionArchive.h"
#include "archive/SqlSteps.h"

namespace archive {

bool NewArchiveIdentity(SessionArchive& archive, QString& was, QString& made, QString& error) {
    if (!archive.IsOpen()) {
        error = "the archive is not open";
        return false;
    }
    was = archive.Identity();
    if (was.isEmpty()) {
        error = "the archive has no identity to make anew";
        return false;
    }
    made = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlDatabase db = QSqlDatabase::database(archive.ConnectionName(), false);
    SqlTransaction transaction(db, archive.IsServer());
    QSqlQuery update(db);
    return transaction.Begun(error) &&
           Run(update, "UPDATE archive_identity SET id = ? WHERE id = ?", {made, was}, error) &&
           AppendHistory(db, archive.IsServer(), ChangeKind::Sync,
                         "identity made anew: this archive was a copy of archive " + was +
                             ", and is archive " + made + " from now on",
                         {}, error) &&
           transaction.Commit(error);
}

} // namespace archive
