// Before a sync writes anything: the chains the two archives both hold are one history, not two
// that went apart from a copied archive.
#include "SyncChains.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <algorithm>

#include "archive/SqlSteps.h"

namespace archive {
namespace {

// Each chain an archive holds and its newest row: its own (under its identity) and those of the
// archives synced into it.
bool ChainEnds(QSqlDatabase& db, const QString& own, QHash<QString, qint64>& ends, QString& error) {
    QSqlQuery query(db);
    if (!Run(query, "SELECT COALESCE(MAX(seq), 0) FROM archive_history", {}, error) ||
        !query.next()) {
        return false;
    }
    if (query.value(0).toLongLong() > 0) {
        ends.insert(own, query.value(0).toLongLong());
    }
    query.finish();
    if (!Run(query, "SELECT origin, MAX(seq) FROM origin_history GROUP BY origin", {}, error)) {
        return false;
    }
    while (query.next()) {
        ends.insert(query.value(0).toString(), query.value(1).toLongLong());
    }
    return true;
}

bool HashAt(QSqlDatabase& db, const QString& own, const QString& origin, qint64 seq, QString& hash,
            QString& error) {
    QSqlQuery query(db);
    const bool read =
        origin == own ? Run(query, "SELECT hash FROM archive_history WHERE seq = ?", {seq}, error)
                      : Run(query, "SELECT hash FROM origin_history WHERE seq = ? AND origin = ?",
                            {seq, origin}, error);
    if (!read) {
        return false;
    }
    hash = query.next() ? query.value(0).toString() : QString();
    return true;
}

// The copy named, and what the user does about it.
QString CopyRefused(const SyncParty& copy, const SyncParty& other, const QString& what) {
    return "the archive " + copy.where + " has the identity of an archive that " + other.where +
           " synced with before (" + copy.identity + "), but not its history (" + what +
           "): it is a copy of that archive, restored from a backup or copied, whose history has"
           " gone another way. To keep it, give it an identity of its own (tavon-datalog archive"
           " new-identity --archive " +
           copy.where + ") and sync again";
}

} // namespace

bool ChainsAgree(QSqlDatabase& sourceDb, QSqlDatabase& targetDb, const SyncParty& source,
                 const SyncParty& target, bool& diverged, QString& error) {
    diverged = false;
    QHash<QString, qint64> theirs;
    QHash<QString, qint64> ours;
    if (!ChainEnds(sourceDb, source.identity, theirs, error) ||
        !ChainEnds(targetDb, target.identity, ours, error)) {
        return false;
    }
    // The two archives' own chains first (the source's too where it holds no row of it at all: a
    // copy made before it had any), then the others', in one order from run to run.
    QStringList others = theirs.keys();
    others.removeAll(source.identity);
    others.removeAll(target.identity);
    others.sort();
    const QStringList origins = QStringList{source.identity, target.identity} + others;
    for (const QString& origin : origins) {
        const qint64 there = theirs.value(origin, 0);
        const qint64 here = ours.value(origin, 0);
        if (here == 0) {
            continue;
        }
        const bool shorter = (origin == source.identity && there < here) ||
                             (origin == target.identity && here < there);
        const qint64 seq = std::min(there, here);
        QString theirHash;
        QString ourHash;
        if (seq > 0 && (!HashAt(sourceDb, source.identity, origin, seq, theirHash, error) ||
                        !HashAt(targetDb, target.identity, origin, seq, ourHash, error))) {
            return false;
        }
        const bool other = theirHash != ourHash;
        if (!shorter && !other) {
            continue;
        }
        diverged = true;
        // The archive holding the rows the other's do not match.
        const QString holder = origin == source.identity ? target.where : source.where;
        const QString what =
            other
                ? QString("its history row %1 is not the row %1 that %2 holds").arg(seq).arg(holder)
                : QString("its history ends at row %1, and %2 holds it up to row %3")
                      .arg(seq)
                      .arg(holder)
                      .arg(std::max(here, there));
        if (origin == source.identity) {
            error = CopyRefused(source, target, what);
        } else if (origin == target.identity) {
            error = CopyRefused(target, source, what);
        } else {
            error = "the history of archive " + origin + " that " + source.where +
                    " holds is not the one " + target.where + " holds (" + what +
                    "): one of them took it from a copy of that archive, restored from a backup"
                    " or copied, whose history has gone another way";
        }
        return false;
    }
    return true;
}

} // namespace archive
