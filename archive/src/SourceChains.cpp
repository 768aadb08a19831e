// Before a sync writes anything: the source's history holds, row by row, as its writers wrote it.
#include "SourceChains.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include "ChainRecords.h"
#include "ChainSignatures.h"
#include "HistoryChain.h"
#include "SqlSteps.h"

namespace archive {
namespace {

// One chain's rows, read in order, up to the first that does not hold: what it says of it, in
// verify's words.
class FirstBadRow {
public:
    explicit FirstBadRow(bool signing) : m_signing(signing) {}
    bool Load(QSqlDatabase& db, const QString& origin, QString& error) {
        return !m_signing || m_signatures.Load(db, origin, error);
    }
    void Check(const HistoryRow& row, bool readable);
    const QString& Fault() const { return m_fault; }

private:
    bool m_signing;
    ChainSignatures m_signatures;
    qint64 m_expected = 1;
    QString m_before;
    QString m_fault;
};

void FirstBadRow::Check(const HistoryRow& row, bool readable) {
    if (!m_fault.isEmpty()) {
        return;
    }
    const QString at = QString("its row %1").arg(row.seq);
    QStringList faults;
    if (row.seq > m_expected) {
        faults << (row.seq == m_expected + 1
                       ? QString("its row %1 is missing (deleted)").arg(m_expected)
                       : QString("its rows %1 to %2 are missing (deleted)")
                             .arg(m_expected)
                             .arg(row.seq - 1));
    } else if (row.previous != m_before) {
        faults << at + " does not follow the row before it (a row was changed, deleted or put in"
                       " between)";
    }
    if (!readable) {
        faults << at + ": its list of sessions is unreadable";
    }
    if (RowHash(row) != row.hash) {
        faults << at + " does not match its own hash (changed after it was written)";
    }
    if (m_signing) {
        m_signatures.Check(row, at, faults);
    }
    m_expected = row.seq + 1;
    m_before = row.hash;
    if (!faults.isEmpty()) {
        m_fault = faults.first();
    }
}

} // namespace

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
        FirstBadRow chain(signing);
        if (!chain.Load(sourceDb, origin, error) ||
            !ReadChainRows(
                sourceDb, origin, signing, 0,
                [&chain](const HistoryRow& row, bool readable) { chain.Check(row, readable); },
                error)) {
            return false;
        }
        if (chain.Fault().isEmpty()) {
            continue;
        }
        unverified = true;
        error = (origin.isEmpty()
                     ? "the history of " + source.Words()
                     : "the history of archive " + origin + " that " + source.Words() + " holds") +
                " does not verify: " + chain.Fault() + "; `archive verify --archive " +
                source.where + "` there says more";
        return false;
    }
    return true;
}

} // namespace archive
