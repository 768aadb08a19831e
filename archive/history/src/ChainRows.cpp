// A chain's rows checked one by one, as verify and a sync read them.
#include "archive/ChainRows.h"

#include "archive/HistoryChain.h"

namespace archive {

bool ChainRows::Load(QSqlDatabase& db, const QString& origin, QString& error) {
    return !m_signing || m_signatures.Load(db, origin, error);
}

void ChainRows::Check(const HistoryRow& row, const RowReading& reading, QStringList& faults) {
    const QString at = At(row);
    if (row.seq > m_expected) {
        faults << (row.seq == m_expected + 1
                       ? QString("%1 %2 is missing (deleted)").arg(m_rowWord).arg(m_expected)
                       : QString("%1s %2 to %3 are missing (deleted)")
                             .arg(m_rowWord)
                             .arg(m_expected)
                             .arg(row.seq - 1));
    } else if (row.previous != m_before) {
        faults << at + " does not follow the row before it (a row was changed, deleted or put in"
                       " between)";
    }
    if (!reading.sessions) {
        faults << at + ": its list of sessions is unreadable";
    }
    for (const QString& column : reading.notText) {
        faults
            << QString("%1's %2 is not UTF-8 text (written outside this program)").arg(at, column);
    }
    // A row whose text is not text has no hash this reader could recompute: said above.
    if (reading.notText.isEmpty() && RowHash(row) != row.hash) {
        faults << at + " does not match its own hash (changed after it was written)";
    }
    if (m_signing) {
        m_signatures.Check(row, at, faults);
    }
    m_expected = row.seq + 1;
    m_before = row.hash;
}

} // namespace archive
