#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include "archive/ArchiveHistory.h"

class QSqlDatabase;

namespace archive {

class PersonalSignOffs;

// The signatures of one chain, checked row by row as verify reads it: each signed row's signature
// over its hash, by a key the chain registered no later than that row, and no row left unsigned
// once signing began.
class ChainSignatures {
public:
    // The keys the chain `origin` (empty: this archive's own) holds.
    bool Load(QSqlDatabase& db, const QString& origin, QString& error);
    // `at`: how the row is named in a line ("history row 7", "archive X's history row 7").
    void Check(const HistoryRow& row, const QString& at, QStringList& mismatches);
    // After the last row: keys registered with a row they did not sign, where signing starts, and
    // who signed what, a personal key by the name `personal` found bound to it. `whose`: "" or
    // "archive X's ".
    void Finish(const QString& whose, const PersonalSignOffs& personal, VerifySummary& summary);

private:
    struct Key {
        qint64 firstRow = 0;
        QString writer;              // "user@host" of the first row it signed
        QString registeredAs;        // the names kept beside it, which no hash covers
        bool signedFirstRow = false; // it signed the row it is registered with
        QVector<qint64> rows;
    };
    QString m_origin;
    QHash<QString, Key> m_keys; // by public key
    QStringList m_order;        // the public keys, as first met
    qint64 m_rows = 0;
    qint64 m_firstSigned = 0; // 0: none yet
    qint64 m_ruleFrom = 0;    // the row that began personal sign-offs; 0: none yet
    qint64 m_lastSeq = 0;
};

} // namespace archive
