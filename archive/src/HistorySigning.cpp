// The signers an archive holds, the fingerprints that name them, the list of trusted ones, and a
// user's sign-off of the sessions of a period.
#include "archive/HistorySigning.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimeZone>
#include <QVariant>
#include <algorithm>

#include "HistoryChain.h"
#include "Schema.h"
#include "SqlSteps.h"
#include "archive/ArchiveHistory.h"
#include "archive/SessionArchive.h"

namespace archive {
namespace {

bool LowerHex(const QString& text, int digits) {
    if (text.size() != digits) {
        return false;
    }
    for (const QChar c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

// "1-40, 52": rows in runs.
QString Runs(const QVector<qint64>& rows) {
    QStringList runs;
    for (int i = 0; i < rows.size();) {
        int j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) {
            ++j;
        }
        runs << (j == i ? QString::number(rows[i]) : QString("%1-%2").arg(rows[i]).arg(rows[j]));
        i = j + 1;
    }
    return runs.join(", ");
}

} // namespace

QString KeyFingerprint(const QString& publicKeyHex) {
    if (!LowerHex(publicKeyHex, 64)) {
        return QString();
    }
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromHex(publicKeyHex.toLatin1()),
                                                       QCryptographicHash::Sha256)
                                  .left(16);
    QStringList groups;
    for (int i = 0; i < digest.size(); i += 2) {
        groups << QString::fromLatin1(digest.mid(i, 2).toHex());
    }
    return groups.join(':');
}

QString NormalFingerprint(const QString& text) {
    QString digits;
    for (const QChar c : text) {
        if (c != ':' && c != ' ' && c != '-') {
            digits += c.toLower();
        }
    }
    if (!LowerHex(digits, 32)) {
        return QString();
    }
    QStringList groups;
    for (int i = 0; i < digits.size(); i += 4) {
        groups << digits.mid(i, 4);
    }
    return groups.join(':');
}

QSet<QString> ParseTrustedKeys(const QString& text, QStringList* refused) {
    QSet<QString> trusted;
    for (const QString& part : text.split(',', Qt::SkipEmptyParts)) {
        const QString fingerprint = NormalFingerprint(part.trimmed());
        if (!fingerprint.isEmpty()) {
            trusted.insert(fingerprint);
        } else if (refused != nullptr && !part.trimmed().isEmpty()) {
            *refused << part.trimmed();
        }
    }
    return trusted;
}

bool HistorySigners(SessionArchive& archive, QVector<HistorySigner>& signers, QString& error) {
    signers.clear();
    if (!archive.IsOpen()) {
        error = "the archive is not open";
        return false;
    }
    if (archive.SchemaVersion() < kSigningVersion) {
        return true;
    }
    QSqlDatabase db = QSqlDatabase::database(archive.ConnectionName(), false);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             "SELECT origin, public_key, first_seq, first_at, os_user, host FROM history_keys"
             " ORDER BY CASE WHEN origin = '' THEN 0 ELSE 1 END, origin, first_seq",
             {}, error)) {
        return false;
    }
    while (query.next()) {
        HistorySigner signer;
        signer.origin = query.value(0).toString();
        signer.publicKey = query.value(1).toString();
        signer.fingerprint = KeyFingerprint(signer.publicKey);
        signer.firstRow = query.value(2).toLongLong();
        signer.firstAt = query.value(3).toLongLong();
        signer.user = query.value(4).toString();
        signer.host = query.value(5).toString();
        signers.append(signer);
    }
    return true;
}

QStringList UntrustedLines(const VerifySummary& summary, const QSet<QString>& trusted) {
    QStringList lines;
    for (const SignedRows& by : summary.signedBy) {
        if (trusted.contains(by.fingerprint) || by.rows.isEmpty()) {
            continue;
        }
        const QString whose = by.origin.isEmpty() ? QString() : "archive " + by.origin + "'s ";
        lines << QString("%1%2 %3 %4 signed by key %5 (%6), which is not a trusted key")
                     .arg(whose, by.rows.size() == 1 ? "history row" : "history rows",
                          Runs(by.rows), by.rows.size() == 1 ? "is" : "are", by.fingerprint,
                          by.firstWriter);
    }
    return lines;
}

bool HistoryPinLines(SessionArchive& archive, qint64 until, QStringList& lines, QString& error) {
    lines.clear();
    QVector<HistorySigner> signers;
    if (!HistorySigners(archive, signers, error)) {
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(archive.ConnectionName(), false);
    qint64 seq = 0;
    QString hash;
    if (!HistoryHead(db, seq, hash, error)) {
        return false;
    }
    lines << (seq == 0 ? QString("History head: none (the history is empty)")
                       : QString("History head: row %1, %2").arg(seq).arg(hash));
    for (const HistorySigner& signer : signers) {
        lines << QString("Signer: %1, %2@%3, first row %4%5")
                     .arg(signer.fingerprint, signer.user, signer.host)
                     .arg(signer.firstRow)
                     .arg(signer.origin.isEmpty() ? QString() : " of archive " + signer.origin);
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query,
             "SELECT seq, changed_at, os_user, host, detail FROM archive_history WHERE kind = ?"
             " AND (? = 0 OR changed_at <= ?) ORDER BY seq",
             {ChangeKindName(ChangeKind::SignOff), until, until}, error)) {
        return false;
    }
    while (query.next()) {
        lines << QString("Sign-off, row %1, %2, %3@%4: %5")
                     .arg(query.value(0).toLongLong())
                     .arg(QDateTime::fromMSecsSinceEpoch(query.value(1).toLongLong(),
                                                         QTimeZone::utc())
                              .toString("yyyy-MM-dd HH:mm 'UTC'"),
                          query.value(2).toString(), query.value(3).toString(),
                          query.value(4).toString());
    }
    return true;
}

bool SignOff(SessionArchive& archive, const SignOffScope& scope, QString& detail, QString& error) {
    detail.clear();
    const QString meaning = scope.meaning.trimmed();
    if (meaning.isEmpty()) {
        error = "a sign-off needs a meaning (\"reviewed\", \"approved\")";
        return false;
    }
    if (!archive.IsOpen()) {
        error = "the archive is not open";
        return false;
    }
    QString what = "every instrument";
    if (!scope.instrument.isEmpty()) {
        const QVector<qint64> found = archive.FindInstruments(scope.instrument);
        if (found.isEmpty()) {
            error = "the archive holds no instrument \"" + scope.instrument + '"';
            return false;
        }
        what = "instrument \"" + scope.instrument + '"';
    }
    ListFilter filter;
    filter.instrument = scope.instrument;
    filter.from = scope.from;
    filter.to = scope.to;
    QVector<qint64> ids;
    if (!archive.ForEach(
            filter, [&ids](const ListedSession& s) { ids.append(s.id); }, ListDetail::Brief)) {
        error = archive.Error();
        return false;
    }
    std::sort(ids.begin(), ids.end());
    QString period;
    if (!scope.from.isEmpty() && !scope.to.isEmpty()) {
        period = " from " + scope.from + " to " + scope.to;
    } else if (!scope.from.isEmpty()) {
        period = " from " + scope.from;
    } else if (!scope.to.isEmpty()) {
        period = " up to " + scope.to;
    }
    const QString count =
        QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qint64>(ids.size()));
    const QString said =
        QString("signed off as \"%1\": %2%3, %4 %5")
            .arg(meaning, what, period, count, ids.size() == 1 ? "session" : "sessions");
    if (!RecordChange(archive, ChangeKind::SignOff, said, ids, error)) {
        return false;
    }
    detail = said;
    return true;
}

} // namespace archive
