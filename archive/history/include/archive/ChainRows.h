#pragma once

#include <QString>
#include <QStringList>

#include "archive/ArchiveHistory.h"
#include "archive/ChainRecords.h"
#include "archive/ChainSignatures.h"

class QSqlDatabase;

namespace archive {

// The checks of one chain's rows that need nothing but the rows and the chain's keys, read in
// order: numbered without gaps, each linked to the one before, its text readable, its own hash,
// and where rows are signed, its signature. Verify and a sync taking another archive's history
// ask the same checks, so that a sync never takes a chain that verify would fail row by row.
class ChainRows {
public:
    // `rowWord` names a row before its number: "history row", "archive X's history row", "its
    // row" (a plural adds an "s").
    ChainRows(const QString& rowWord, bool signing) : m_rowWord(rowWord), m_signing(signing) {}
    bool Load(QSqlDatabase& db, const QString& origin, QString& error);
    // The row's faults appended to `faults`, each a line of its own.
    void Check(const HistoryRow& row, const RowReading& reading, QStringList& faults);
    // How the row is named in a line: "history row 7".
    QString At(const HistoryRow& row) const { return m_rowWord + ' ' + QString::number(row.seq); }
    ChainSignatures& Signatures() { return m_signatures; }

private:
    QString m_rowWord;
    bool m_signing;
    ChainSignatures m_signatures;
    qint64 m_expected = 1;
    QString m_before;
};

} // namespace archive
