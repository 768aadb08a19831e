// A chain's signatures as verify checks them: what a writer without the key could not have made.
#include "archive/ChainSignatures.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "PersonalSignOffs.h"
#include "archive/ArchiveValues.h"
#include "archive/HistoryChain.h"
#include "archive/HistorySigning.h"
#include "archive/SigningKey.h"
#include "archive/SqlSteps.h"

namespace archive {

bool ChainSignatures::Load(QSqlDatabase& db, const QString& origin, QString& error) {
    m_origin = origin;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             "SELECT public_key, first_seq, os_user, host FROM history_keys WHERE origin = ?"
             " ORDER BY first_seq",
             {Text(origin)}, error)) {
        return false;
    }
    while (query.next()) {
        Key& key = m_keys[query.value(0).toString()];
        key.firstRow = query.value(1).toLongLong();
        key.registeredAs = query.value(2).toString() + '@' + query.value(3).toString();
    }
    return true;
}

void ChainSignatures::Check(const HistoryRow& row, const QString& at, QStringList& mismatches) {
    ++m_rows;
    m_lastSeq = row.seq;
    // The program writes the row that begins personal sign-offs only at a schema that signs
    // every row: from it on no row is unsigned, even where no row of the chain is signed any more.
    if (m_ruleFrom == 0 && IsPersonalRuleRow(row)) {
        m_ruleFrom = row.seq;
    }
    if (row.signer.isEmpty() && row.signature.isEmpty()) {
        if (m_firstSigned > 0) {
            mismatches << QString("%1 is not signed, though its chain is signed from row %2 on"
                                  " (its signature was removed)")
                              .arg(at)
                              .arg(m_firstSigned);
        } else if (m_ruleFrom > 0) {
            mismatches << QString("%1 is not signed, though every row is from row %2 on, which"
                                  " began personal sign-offs (its signature was removed)")
                              .arg(at)
                              .arg(m_ruleFrom);
        }
        return;
    }
    if (m_firstSigned == 0) {
        m_firstSigned = row.seq;
    }
    const QString fingerprint = KeyFingerprint(row.signer);
    const QString named =
        fingerprint.isEmpty() ? QString("an unreadable key") : "key " + fingerprint;
    if (!SignatureHolds(row.signer, row.hash, row.signature)) {
        mismatches << at + "'s signature does not match its hash: the row was hashed again by"
                           " someone without its signer's key (the chain was rebuilt)";
    }
    const auto key = m_keys.find(row.signer);
    if (key == m_keys.end()) {
        mismatches << QString("%1 is signed by %2, which the archive does not hold as a signer")
                          .arg(at, named);
        return;
    }
    if (key->firstRow > row.seq) {
        mismatches << QString("%1 is signed by %2, which the archive registered with its row %3,"
                              " after it (the row was signed again)")
                          .arg(at, named)
                          .arg(key->firstRow);
    }
    if (key->rows.isEmpty()) {
        m_order << row.signer;
        // Named by the first row it signed, whose hash and signature cover the names.
        key->writer = row.user + '@' + row.host;
    }
    if (key->firstRow == row.seq) {
        key->signedFirstRow = true;
        // Who a key belongs to is what its first row says, which the hash covers; the names kept
        // beside the key are not hashed, and names changed there would put the key in another's
        // hands in every view.
        const QString writer = row.user + '@' + row.host;
        if (key->registeredAs != writer) {
            mismatches << QString("%1 is registered as %2's, but its first row, %3, was written"
                                  " by %4 (the list of signers was changed outside this program)")
                              .arg(named, key->registeredAs, at, writer);
        }
    }
    key->rows.append(row.seq);
}

void ChainSignatures::Finish(const QString& whose, const PersonalSignOffs& personal,
                             VerifySummary& summary) {
    for (auto key = m_keys.constBegin(); key != m_keys.constEnd(); ++key) {
        // A key's first row is the one it registered with; one registered with another row was
        // put in the list of signers by hand.
        if (!key->signedFirstRow && key->firstRow <= m_lastSeq) {
            summary.mismatches << QString("%1key %2 is registered with history row %3, which it"
                                          " did not sign")
                                      .arg(whose, KeyFingerprint(key.key()))
                                      .arg(key->firstRow);
        } else if (m_origin.isEmpty() && key->firstRow > m_lastSeq) {
            // This archive registers a key with the row it signs, in one transaction: one past
            // the last row was put in the list by hand (or the rows after it deleted).
            summary.mismatches << QString("key %1 is registered with history row %2, which the"
                                          " history does not hold (it ends at row %3)")
                                      .arg(KeyFingerprint(key.key()))
                                      .arg(key->firstRow)
                                      .arg(m_lastSeq);
        }
    }
    if (m_rows > 0 && m_firstSigned != 1) {
        summary.signing << (m_firstSigned == 0
                                ? QString("%1history rows 1 to %2 were written before rows were"
                                          " signed; signing starts with the next row")
                                      .arg(whose)
                                      .arg(m_lastSeq)
                            : m_firstSigned == 2
                                ? QString("%1history row 1 was written before rows were signed;"
                                          " signing starts at row 2")
                                      .arg(whose)
                                : QString("%1history rows 1 to %2 were written before rows were"
                                          " signed; signing starts at row %3")
                                      .arg(whose)
                                      .arg(m_firstSigned - 1)
                                      .arg(m_firstSigned));
    }
    for (const QString& publicKey : m_order) {
        const Key& key = m_keys[publicKey];
        summary.signedBy.append({m_origin, KeyFingerprint(publicKey), key.writer,
                                 personal.BoundName(publicKey), key.rows});
    }
}

} // namespace archive
