// Who a view says signed a row: a personal key's printed name as its chain binds it, never the
// operating-system user for a sign-off; and what a sign-off says of a personal key not there.
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "archive/HistoryChain.h"
#include "archive/HistorySigning.h"
#include "archive/KeyBinding.h"
#include "archive/KeyFiles.h"
#include "archive/PersonalKey.h"
#include "archive/Schema.h"
#include "archive/SessionArchive.h"
#include "archive/SqlSteps.h"

namespace archive {
namespace {

bool PersonalKind(const QString& kind) {
    return kind == ChangeKindName(ChangeKind::SignOff) ||
           kind == ChangeKindName(ChangeKind::Signer);
}

} // namespace

bool ChainPrintedNames(SessionArchive& archive, const QString& origin, PrintedNames& names,
                       QString& error) {
    names.clear();
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
    const QString kind = ChangeKindName(ChangeKind::Signer);
    if (!(origin.isEmpty() ? Run(query,
                                 "SELECT signer, detail FROM archive_history WHERE kind = ?"
                                 " ORDER BY seq",
                                 {kind}, error)
                           : Run(query,
                                 "SELECT signer, detail FROM origin_history WHERE origin = ?"
                                 " AND kind = ? ORDER BY seq",
                                 {origin, kind}, error))) {
        return false;
    }
    while (query.next()) {
        QString publicHex;
        QString name;
        const QString signer = query.value(0).toString();
        if (ReadBindingText(query.value(1).toString(), publicHex, name) && publicHex == signer &&
            !names.contains(signer)) {
            names.insert(signer, name);
        }
    }
    return true;
}

QString SignerName(const QString& kind, const QString& user, const QString& host,
                   const QString& signer, const PrintedNames& names) {
    const auto named = names.constFind(signer);
    if (!signer.isEmpty() && named != names.constEnd()) {
        return QuotedName(named.value());
    }
    if (PersonalKind(kind)) {
        return signer.isEmpty() ? QStringLiteral("unsigned") : QStringLiteral("no printed name");
    }
    return user + '@' + host;
}

QString ShownWriter(const QString& kind, const QString& user, const QString& host,
                    const QString& signer, const PrintedNames& names) {
    const QString name = SignerName(kind, user, host, signer, names);
    if (signer.isEmpty() || (!names.contains(signer) && !PersonalKind(kind))) {
        return name;
    }
    return name + " (" + KeyNamedBy(KeyFingerprint(signer)) + ')';
}

QString SignerWho(const HistorySigner& signer, const PrintedNames& names) {
    if (!signer.firstRowHeld && !names.contains(signer.publicKey)) {
        return QString("writer unknown (row %1 of its chain is not signed by it)")
            .arg(signer.firstRow);
    }
    return SignerName(signer.kind, signer.user, signer.host, signer.publicKey, names);
}

bool FindPersonalKey(SessionArchive& archive, PersonalKey& key, QString& error) {
    bool missing = false;
    if (key.Load(error, &missing)) {
        return true;
    }
    if (!missing) {
        return false;
    }
    const QString file = ShownPath(PersonalKeyFile());
    const QString make =
        "make one with tavon-datalog archive keys new --name \"YOUR PRINTED NAME\"";
    QStringList held;
    if (archive.IsOpen() && archive.SchemaVersion() >= kPersonalSignOffVersion) {
        // Each named as every view names a personal key, by the name its own binding gives it.
        PrintedNames bound;
        if (!ChainPrintedNames(archive, QString(), bound, error)) {
            return false;
        }
        QSqlDatabase db = QSqlDatabase::database(archive.ConnectionName(), false);
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!Run(query,
                 "SELECT seq, signer, detail FROM archive_history WHERE kind = ? AND host = ?"
                 " ORDER BY seq",
                 {ChangeKindName(ChangeKind::Signer), HostName()}, error)) {
            return false;
        }
        QSet<QString> named;
        while (query.next()) {
            QString publicHex;
            QString name;
            const QString signer = query.value(1).toString();
            if (ReadBindingText(query.value(2).toString(), publicHex, name) &&
                publicHex == signer && bound.contains(signer) && !named.contains(signer)) {
                named.insert(signer);
                held << ShownWriter(ChangeKindName(ChangeKind::Signer), name, HostName(), signer,
                                    bound) +
                            " in row " + QString::number(query.value(0).toLongLong());
            }
        }
    }
    error = held.isEmpty()
                ? "you have no personal signing key (" + file +
                      "), which a sign-off is signed "
                      "with: " +
                      make
                : "your personal signing key " + file +
                      " is missing, and this archive holds "
                      "personal keys bound on this computer: " +
                      held.join(", ") +
                      ": if one is yours, put its file back from your backup; else " + make +
                      " (a new key is another signer, which your manager must trust)";
    return false;
}

} // namespace archive
