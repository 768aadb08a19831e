#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include "archive/ArchiveHistory.h"

namespace archive {

// A chain's personal keys as verify checks them, row by row: each binding row (kind "signer")
// signed by the key it binds and the first row that key signed in the chain, each key bound once,
// a bound key signing nothing but sign-offs, and, from the row that says so on (HistoryChain.h),
// every sign-off signed by a key an earlier row of the chain bound to a printed name.
class PersonalSignOffs {
public:
    // `at`: how the row is named in a line ("history row 7", "archive X's history row 7").
    void Check(const HistoryRow& row, const QString& at, QStringList& mismatches);
    // After the last row: from which row the rule applies, where not from the first. `whose`: ""
    // or "archive X's ".
    void Finish(const QString& whose, VerifySummary& summary) const;
    // This archive's own chain at a schema that has the rule must hold its row: taken out, any
    // key's sign-off would pass for a person's.
    void RequireRule(VerifySummary& summary) const;
    // The printed name a row of the chain so far bound the key to; empty when none did.
    QString BoundName(const QString& publicKey) const { return m_bound.value(publicKey).name; }

private:
    void CheckBinding(const HistoryRow& row, const QString& at, QStringList& mismatches);

    struct Bound {
        QString name;
        qint64 row = 0;
    };
    QHash<QString, Bound> m_bound; // by public key
    QSet<QString> m_signers;       // every key that signed a row so far
    qint64 m_ruleFrom = 0;         // 0: no row says it yet
    qint64 m_lastSeq = 0;
    qint64 m_rows = 0;
};

} // namespace archive
