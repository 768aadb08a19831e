// A writer told when the key that signs their rows is not the one the archive knows them by.
#include "KeyWarnings.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <cstdio>

#include "archive/HistoryChain.h"
#include "archive/SigningKey.h"
#include "archive/SqlSteps.h"

namespace archive {
namespace {

void Warn(const QString& line) {
    std::fprintf(stderr, "warning: %s\n", line.toLocal8Bit().constData());
}

QString KeyFile() {
    return QDir::toNativeSeparators(SigningKeyFile());
}

// The newest row of this chain by `user`@`host` that another key signed, but a personal key's:
// the key the writer signed with before this one.
bool SayMadeAgain(QSqlDatabase& db, const SigningKey& key, const QString& user, const QString& host,
                  QString& error) {
    QSqlQuery held(db);
    if (!Run(held,
             "SELECT seq, signer FROM archive_history WHERE os_user = ? AND host = ?"
             " AND signer <> '' AND signer <> ? AND kind NOT IN (?, ?) ORDER BY seq DESC LIMIT 1",
             {user, host, key.PublicHex(), ChangeKindName(ChangeKind::Signer),
              ChangeKindName(ChangeKind::SignOff)},
             error)) {
        return false;
    }
    if (held.next()) {
        Warn(QString("the signing key %1 of %2@%3 was missing, and a new key %4 was made, which"
                     " verify will show as a new signer; this archive already holds key %5 of"
                     " %2@%3 (its row %6): put the old key file back if you have it, else ask"
                     " your manager to trust the new key")
                 .arg(KeyFile(), user, host, KeyFingerprint(key.PublicHex()),
                      KeyFingerprint(held.value(1).toString()))
                 .arg(held.value(0).toLongLong()));
    }
    held.finish();
    return true;
}

// The row the key registered with in this chain names another writer than the one writing now.
bool SayOtherWriter(QSqlDatabase& db, const SigningKey& key, const QString& user,
                    const QString& host, QString& error) {
    QSqlQuery first(db);
    if (!Run(first,
             "SELECT h.seq, h.os_user, h.host FROM history_keys k JOIN archive_history h"
             " ON h.seq = k.first_seq AND h.signer = k.public_key"
             " WHERE k.origin = '' AND k.public_key = ?",
             {key.PublicHex()}, error)) {
        return false;
    }
    if (first.next() && (first.value(1).toString() != user || first.value(2).toString() != host)) {
        const QString known = first.value(1).toString() + '@' + first.value(2).toString();
        Warn(QString("this change is written as %1@%2 but signed with the signing key %3 (%4),"
                     " whose first row of this archive (row %5) was written as %6: archive keys"
                     " and verify name that key %6; $USER may name another user, or the key"
                     " file is another user's")
                 .arg(user, host, KeyFingerprint(key.PublicHex()), KeyFile())
                 .arg(first.value(0).toLongLong())
                 .arg(known));
    }
    first.finish();
    return true;
}

} // namespace

bool WarnOfUserKey(QSqlDatabase& db, const SigningKey& key, bool made, const QString& user,
                   const QString& host, QString& error) {
    return made ? SayMadeAgain(db, key, user, host, error)
                : SayOtherWriter(db, key, user, host, error);
}

} // namespace archive
