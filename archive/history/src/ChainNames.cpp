// The other archives whose chains this one holds, named as the sync rows that took them in name
// them.
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "archive/ArchiveHistory.h"
#include "archive/HistorySigning.h"
#include "archive/Schema.h"
#include "archive/SessionArchive.h"
#include "archive/SqlSteps.h"

namespace archive {

bool ChainNames(SessionArchive& archive, QHash<QString, QString>& names, QString& error) {
    names.clear();
    if (!archive.IsOpen()) {
        error = "the archive is not open";
        return false;
    }
    if (archive.SchemaVersion() < kSyncVersion) {
        return true;
    }
    QSqlDatabase db = QSqlDatabase::database(archive.ConnectionName(), false);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query, "SELECT DISTINCT origin FROM origin_history", {}, error)) {
        return false;
    }
    while (query.next()) {
        const QString origin = query.value(0).toString();
        names.insert(origin, "archive " + origin);
    }
    if (names.isEmpty()) {
        return true;
    }
    // "sync from archive WHERE (identity ID), ...", in this archive's chain or in one synced into
    // it (an archive synced on from another): the newest row naming an identity names it here.
    const QString kind = ChangeKindName(ChangeKind::Sync);
    if (!Run(query,
             "SELECT changed_at, detail FROM archive_history WHERE kind = ? UNION ALL"
             " SELECT changed_at, detail FROM origin_history WHERE kind = ? ORDER BY 1",
             {kind, kind}, error)) {
        return false;
    }
    static const QRegularExpression kNamed("archive (.+?) \\(identity ([^)\\s]+)\\)");
    while (query.next()) {
        const QString detail = query.value(1).toString();
        for (auto match = kNamed.globalMatch(detail); match.hasNext();) {
            const QRegularExpressionMatch named = match.next();
            if (names.contains(named.captured(2))) {
                names.insert(named.captured(2), "archive " + named.captured(1));
            }
        }
    }
    return true;
}

} // namespace archive
