// The signers an archive holds, the fingerprints that name them, the list of trusted ones, and a
// user's sign-off of the sessions of a period.
#include "archive/HistorySigning.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimeZone>
#include <QVariant>
#include <algorithm>

#include "HistoryChain.h"
#include "Schema.h"
#include "SignOffText.h"
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

// The instruments a sign-off row's sessions belong to.
bool InstrumentsOf(QSqlDatabase& db, const QVector<HistorySession>& sessions,
                   QSet<qint64>& instruments, QString& error) {
    constexpr int kChunk = 500;
    for (int i = 0; i < sessions.size(); i += kChunk) {
        QStringList ids;
        for (int k = i; k < std::min(static_cast<int>(sessions.size()), i + kChunk); ++k) {
            ids << QString::number(sessions[k].id);
        }
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!Run(query,
                 "SELECT DISTINCT instrument_id FROM sessions WHERE id IN (" + ids.join(',') + ")",
                 {}, error)) {
            return false;
        }
        while (query.next()) {
            instruments.insert(query.value(0).toLongLong());
        }
    }
    return true;
}

// Whether a sign-off row (its text and the sessions it names) is one a pack of `period` shows:
// its period overlaps the pack's, and it names every instrument or one the pack holds. Its
// instrument is the one its sessions belong to, which a rename since does not change; a row that
// names no session is asked of the instrument by the name it gave. A row whose text is no
// sign-off's is shown: nothing a pack cannot judge is left out of it.
bool SignOffApplies(SessionArchive& archive, const QString& detail, const QString& sessionsText,
                    const PinnedPeriod& period, bool& applies, QString& error) {
    SignOffScope scope;
    applies = true;
    if (!ReadSignOffText(detail, scope)) {
        return true;
    }
    applies = (scope.from.isEmpty() || period.to.isEmpty() || scope.from <= period.to) &&
              (scope.to.isEmpty() || period.from.isEmpty() || scope.to >= period.from);
    if (!applies || scope.instrument.isEmpty()) {
        return true;
    }
    QVector<HistorySession> sessions;
    QVector<HistorySession> indexUploads;
    QSet<qint64> instruments;
    if (ParseSessionsText(sessionsText, sessions, indexUploads) && !sessions.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(archive.ConnectionName(), false);
        if (!InstrumentsOf(db, sessions, instruments, error)) {
            return false;
        }
    } else {
        const QVector<qint64> named = archive.FindInstruments(scope.instrument);
        instruments = QSet<qint64>(named.begin(), named.end());
    }
    applies = std::any_of(period.instruments.begin(), period.instruments.end(),
                          [&instruments](qint64 id) { return instruments.contains(id); });
    return true;
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

bool HistoryPinLines(SessionArchive& archive, const PinnedPeriod& period, QStringList& lines,
                     QString& error) {
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
             "SELECT seq, changed_at, os_user, host, detail, sessions FROM archive_history"
             " WHERE kind = ? ORDER BY seq",
             {ChangeKindName(ChangeKind::SignOff)}, error)) {
        return false;
    }
    // Read whole before any is judged: a server's forward-only result is lost to the next query.
    struct SignOffRow {
        qint64 seq;
        qint64 at;
        QString user;
        QString host;
        QString detail;
        QString sessions;
    };
    QVector<SignOffRow> rows;
    while (query.next()) {
        rows.append({query.value(0).toLongLong(), query.value(1).toLongLong(),
                     query.value(2).toString(), query.value(3).toString(),
                     query.value(4).toString(), query.value(5).toString()});
    }
    for (const SignOffRow& row : rows) {
        bool applies = false;
        if (!SignOffApplies(archive, row.detail, row.sessions, period, applies, error)) {
            return false;
        }
        if (applies) {
            lines << QString("Sign-off, row %1, %2, %3@%4: %5")
                         .arg(row.seq)
                         .arg(QDateTime::fromMSecsSinceEpoch(row.at, QTimeZone::utc())
                                  .toString("yyyy-MM-dd HH:mm 'UTC'"),
                              row.user, row.host, row.detail);
        }
    }
    return true;
}

bool SignOff(SessionArchive& archive, const SignOffScope& scope, QString& detail, QString& error) {
    detail.clear();
    SignOffScope said = scope;
    said.meaning = scope.meaning.trimmed();
    if (said.meaning.isEmpty()) {
        error = "a sign-off needs a meaning (\"reviewed\", \"approved\")";
        return false;
    }
    if (!archive.IsOpen()) {
        error = "the archive is not open";
        return false;
    }
    if (!said.instrument.isEmpty() && archive.FindInstruments(said.instrument).isEmpty()) {
        error = "the archive holds no instrument \"" + said.instrument + '"';
        return false;
    }
    ListFilter filter;
    filter.instrument = said.instrument;
    filter.from = said.from;
    filter.to = said.to;
    QVector<qint64> ids;
    if (!archive.ForEach(
            filter, [&ids](const ListedSession& s) { ids.append(s.id); }, ListDetail::Brief)) {
        error = archive.Error();
        return false;
    }
    std::sort(ids.begin(), ids.end());
    const QString text = SignOffText(said, ids.size());
    if (!RecordChange(archive, ChangeKind::SignOff, text, ids, error)) {
        return false;
    }
    detail = text;
    return true;
}

} // namespace archive
