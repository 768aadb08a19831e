// Before a sync writes anything: the source's history holds, row by row, as its writers wrote it.
#include "SourceChains.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include "archive/ChainRecords.h"
#include "archive/ChainRows.h"
#include "archive/SqlSteps.h"

namespace archive {
bool SourceChainsHold(QSqlDatabase& sourceDb, bool signing, const SyncParty& source,
                      const QString& targetIdentity, bool& unverified, QString& error) {
    unverified = false;
    QStringList origins{QString()};
    QSqlQuery query(sourceDb);
    if (!Run(query, "SELECT DISTINCT origin FROM origin_history ORDER BY origin", {}, error)) {
        return false;
    }
    while (query.next()) {
        if (query.value(0).toString() != targetIdentity) {
            origins << query.value(0).toString();
        }
    }
    query.finish();
    for (const QString& origin : origins) {
        // Up to the first row that does not hold: what it says of it, in verify's words.
        ChainRows chain("its row", signing);
        QStringList faults;
        if (!chain.Load(sourceDb, origin, error) ||
            !ReadChainRows(
                sourceDb, origin, signing, 0,
                [&](const HistoryRow& row, const RowReading& reading) {
                    if (faults.isEmpty()) {
                        chain.Check(row, reading, faults);
                    }
                },
                error)) {
            return false;
        }
        if (faults.isEmpty()) {
            continue;
        }
        unverified = true;
        error = (origin.isEmpty()
                     ? "the history of " + source.Words()
                     : "the history of archive " + origin + " that " + source.Words() + " holds") +
                " does not verify: " + faults.first() + "; `archive verify --archive " +
                source.where + "` there says more";
        return false;
    }
    return true;
}

} // namespace archive
