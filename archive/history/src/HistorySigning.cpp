// The signers an archive holds, the fingerprints that name them, the list of trusted ones, and a
// user's sign-off of the sessions of a period.
#include "archive/HistorySigning.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

#include "SignOffText.h"
#include "archive/ArchiveHistory.h"
#include "archive/HistoryChain.h"
#include "archive/KeyBinding.h"
#include "archive/PersonalKey.h"
#include "archive/Schema.h"
#include "archive/SessionArchive.h"
#include "archive/SigningKey.h"
#include "archive/SqlSteps.h"

namespace archive {
namespace {

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

// A personal key's sign-off, after the row that binds the key to its printed name where this chain
// has none yet, in one transaction: a binding is never left without the sign-off it came with.
bool WriteSignOff(SessionArchive& archive, const PersonalKey& key, const QString& text,
                  const QVector<qint64>& sessions, QString& error, bool& refused) {
    QSqlDatabase db = QSqlDatabase::database(archive.ConnectionName(), false);
    const bool server = archive.IsServer();
    SqlTransaction transaction(db, server);
    if (!transaction.Begun(error) || !LockHistory(db, server, error)) {
        return false;
    }
    QSqlQuery held(db);
    if (!Run(held,
             "SELECT (SELECT COUNT(*) FROM archive_history WHERE kind = ? AND signer = ?),"
             " (SELECT COUNT(*) FROM history_keys WHERE origin = '' AND public_key = ?)",
             {ChangeKindName(ChangeKind::Signer), key.PublicHex(), key.PublicHex()}, error) ||
        !held.next()) {
        return false;
    }
    const bool bound = held.value(0).toLongLong() > 0;
    const bool signedBefore = held.value(1).toLongLong() > 0;
    held.finish();
    if (!bound && signedBefore) {
        // Its binding must be its first row: verify would take this chain for a forged one.
        refused = true;
        error = "key " + key.Fingerprint() +
                " has signed rows of this archive without being bound"
                " to a printed name, so it cannot sign off here: make a new personal key";
        return false;
    }
    const PersonalWriter writer{key.Name(), &key.Signer()};
    return (bound ||
            AppendRecorded(db, server, ChangeKind::Signer, BindingText(key.PublicHex(), key.Name()),
                           {}, {}, error, &writer)) &&
           AppendHistory(db, server, ChangeKind::SignOff, text, sessions, {}, error, &writer) &&
           transaction.Commit(error);
}

} // namespace

QString KeyNamedBy(const QString& fingerprint, bool bare) {
    if (fingerprint.isEmpty()) {
        return QStringLiteral("an unreadable key");
    }
    return bare ? fingerprint : "key " + fingerprint;
}

QString NormalFingerprint(const QString& text) {
    QString digits;
    for (const QChar c : text) {
        if (c != ':' && c != ' ' && c != '-') {
            digits += c.toLower();
        }
    }
    if (!IsLowerHex(digits, 32)) {
        return QString();
    }
    QStringList groups;
    for (int i = 0; i < digits.size(); i += 4) {
        groups << digits.mid(i, 4);
    }
    return groups.join(':');
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
    // Who a key belongs to is read from the row it is registered with, whose hash and the key's
    // own signature cover the writer's names: history_keys' copies of them are in no hash.
    if (!Run(query,
             "SELECT k.origin, k.public_key, k.first_seq,"
             " COALESCE(a.changed_at, o.changed_at, k.first_at),"
             " COALESCE(a.os_user, o.os_user), COALESCE(a.host, o.host),"
             " COALESCE(a.kind, o.kind) FROM history_keys k"
             " LEFT JOIN archive_history a ON k.origin = '' AND a.seq = k.first_seq"
             " AND a.signer = k.public_key"
             " LEFT JOIN origin_history o ON k.origin <> '' AND o.origin = k.origin"
             " AND o.seq = k.first_seq AND o.signer = k.public_key"
             " ORDER BY CASE WHEN k.origin = '' THEN 0 ELSE 1 END, k.origin, k.first_seq",
             {}, error)) {
        return false;
    }
    QHash<QString, PrintedNames> names; // by chain
    while (query.next()) {
        HistorySigner signer;
        signer.origin = query.value(0).toString();
        signer.publicKey = query.value(1).toString();
        signer.fingerprint = KeyFingerprint(signer.publicKey);
        signer.firstRow = query.value(2).toLongLong();
        signer.firstAt = query.value(3).toLongLong();
        signer.firstRowHeld = !query.value(4).isNull();
        signer.user = query.value(4).toString();
        signer.host = query.value(5).toString();
        signer.kind = query.value(6).toString();
        signers.append(signer);
    }
    query.finish();
    for (HistorySigner& signer : signers) {
        if (!names.contains(signer.origin) &&
            !ChainPrintedNames(archive, signer.origin, names[signer.origin], error)) {
            return false;
        }
        signer.printedName = names[signer.origin].value(signer.publicKey);
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
        // A personal key as every view shows one: by the printed name its chain binds.
        const QString signer =
            by.printedName.isEmpty()
                ? QString("%1 (%2)").arg(KeyNamedBy(by.fingerprint), by.firstWriter)
                : QString("%1 (%2)").arg(QuotedName(by.printedName), KeyNamedBy(by.fingerprint));
        lines << QString("%1%2 %3 %4 signed by %5, which is not a trusted key")
                     .arg(whose, by.rows.size() == 1 ? "history row" : "history rows",
                          Runs(by.rows), by.rows.size() == 1 ? "is" : "are", signer);
    }
    return lines;
}

namespace {

// A signature says the signer saw these bytes as the history has them: over bytes changed behind
// the program's back, or a chain that does not hold, it would make them pass for the instrument's.
bool ScopeVerifies(SessionArchive& archive, const QVector<qint64>& ids, QString& error,
                   bool* mismatched) {
    const VerifySummary verified = VerifyArchive(archive);
    if (!verified.readable) {
        error = verified.error;
        return false;
    }
    QStringList faulty;
    for (const qint64 id : ids) {
        if (verified.faultySessions.contains(id)) {
            faulty << QString::number(id);
        }
    }
    if (verified.chainFaults == 0 && faulty.isEmpty()) {
        return true;
    }
    if (mismatched != nullptr) {
        *mismatched = true;
    }
    error = (faulty.isEmpty() ? QString("not signed off: the archive's history does not verify")
             : faulty.size() == 1
                 ? QString("not signed off: 1 of its sessions does not verify (session %1)")
                       .arg(faulty.front())
                 : QString("not signed off: %1 of its sessions do not verify (sessions %2)")
                       .arg(faulty.size())
                       .arg(faulty.join(", "))) +
            "; nothing was written. What archive verify finds:\n" + verified.mismatches.join('\n');
    return false;
}

} // namespace

bool SignOff(SessionArchive& archive, const SignOffScope& scope, const PersonalKey& signer,
             QString& detail, QString& error, bool* refused, bool* mismatched) {
    detail.clear();
    if (refused != nullptr) {
        *refused = false;
    }
    if (mismatched != nullptr) {
        *mismatched = false;
    }
    auto refuse = [&error, refused](const QString& why) {
        error = why;
        if (refused != nullptr) {
            *refused = true;
        }
        return false;
    };
    SignOffScope said = scope;
    said.meaning = scope.meaning.trimmed();
    if (said.meaning.isEmpty()) {
        return refuse("a sign-off needs a meaning (\"reviewed\", \"approved\")");
    }
    if (!signer.Unsealed()) {
        return refuse("a sign-off is signed by a personal key unsealed with its passphrase");
    }
    if (!archive.IsOpen()) {
        error = "the archive is not open";
        return false;
    }
    if (!said.instrument.isEmpty() && archive.FindInstruments(said.instrument).isEmpty()) {
        return archive.Error().isEmpty()
                   ? refuse("the archive holds no instrument \"" + said.instrument + '"')
                   : (error = archive.Error(), false);
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
    // A signature over nothing would read as a review that found nothing wrong.
    if (ids.isEmpty()) {
        return refuse("nothing to sign off: " + SignOffScopeText(said) + " holds no session");
    }
    std::sort(ids.begin(), ids.end());
    if (!ScopeVerifies(archive, ids, error, mismatched)) {
        return false;
    }
    const QString text = SignOffText(said, ids.size());
    bool badKey = false;
    if (!WriteSignOff(archive, signer, text, ids, error, badKey)) {
        return badKey ? refuse(error) : false;
    }
    detail = text;
    return true;
}

} // namespace archive
