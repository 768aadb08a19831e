// History rows as two archives store them, read in one snapshot each and compared column by
// column by a verify against another archive.
#include "AgainstRows.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include "archive/ChainRecords.h"
#include "archive/HistoryChain.h"
#include "archive/HistorySigning.h"
#include "archive/SqlSteps.h"

namespace archive {
namespace {

// The columns a StoredRow is read from: the signatures' only where both archives have them.
QString StoredColumns(bool signing) {
    return QString(kHistoryColumns) + (signing ? ", signer, signature" : "");
}

// The row a stored one holds, for its hash to be made again; false when its list of sessions is
// unreadable.
bool RowOf(const StoredRow& r, HistoryRow& row) {
    row.seq = r.seq;
    row.at = r.at;
    row.user = r.user;
    row.host = r.host;
    row.kind = r.kind;
    row.detail = r.detail;
    row.previous = r.previous;
    return ParseSessionsText(r.sessions, row.sessions, row.indexUploads);
}

QString SignerWords(const QString& publicHex) {
    return publicHex.isEmpty() ? QStringLiteral("no key") : KeyNamedBy(KeyFingerprint(publicHex));
}

QString SignaturesDiffer(const StoredRow& there, const StoredRow& here) {
    if (there.signer != here.signer) {
        return QString("its signer differs: there %1, here %2")
            .arg(SignerWords(there.signer), SignerWords(here.signer));
    }
    return QString("its signature differs: there %1, here %2")
        .arg(there.signature.isEmpty() ? QString("none") : there.signature,
             here.signature.isEmpty() ? QString("none") : here.signature);
}

} // namespace

bool ReadStored(QSqlDatabase& db, const QString& sql, std::initializer_list<QVariant> values,
                bool signing, QMap<qint64, StoredRow>& rows, QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query, sql.arg(StoredColumns(signing)), values, error)) {
        return false;
    }
    while (query.next()) {
        StoredRow r;
        r.seq = query.value(0).toLongLong();
        r.at = query.value(1).toLongLong();
        r.user = query.value(2).toString();
        r.host = query.value(3).toString();
        r.kind = query.value(4).toString();
        r.detail = query.value(5).toString();
        r.sessions = query.value(6).toString();
        r.previous = query.value(7).toString();
        r.hash = query.value(8).toString();
        if (signing) {
            r.signer = query.value(9).toString();
            r.signature = query.value(10).toString();
        }
        rows.insert(r.seq, r);
    }
    return true;
}

bool HashOfText(const StoredRow& row, QString& hash) {
    HistoryRow parsed;
    if (!RowOf(row, parsed)) {
        return false;
    }
    hash = RowHash(parsed);
    return true;
}

QString HowItDiffers(const StoredRow& there, const StoredRow& here) {
    if (there.SameText(here)) {
        return SignaturesDiffer(there, here);
    }
    QString thereNow;
    QString hereNow;
    if (!HashOfText(there, thereNow)) {
        return "there its list of sessions is unreadable";
    }
    if (!HashOfText(here, hereNow)) {
        return "here its list of sessions is unreadable";
    }
    // The side whose text no longer hashes to the hash it carries, while the other's still does,
    // is the one changed: named with both hashes, so that neither stands for the other.
    if (hereNow != here.hash && thereNow == there.hash) {
        return QString("here it hashes to %1, but carries the hash %2").arg(hereNow, here.hash);
    }
    if (thereNow != here.hash) {
        return QString("there it hashes to %1, here to %2").arg(thereNow, here.hash);
    }
    return QString("there it hashes to %1 as here, but carries the hash %2")
        .arg(thereNow, there.hash);
}

ReadSnapshot::~ReadSnapshot() {
    if (m_open) {
        QString ignored;
        Exec(m_db, "ROLLBACK", ignored);
    }
}

bool ReadSnapshot::Begun(QString& error) {
    m_open =
        Exec(m_db, m_server ? "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY" : "BEGIN", error);
    return m_open;
}

} // namespace archive
