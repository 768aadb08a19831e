// What a history chain recorded of the bytes it names, and the check of stored bytes against it.
#include "ChainRecords.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

#include "HistoryChain.h"
#include "SqlSteps.h"

namespace archive {

const char kHistoryColumns[] =
    "seq, changed_at, os_user, host, kind, detail, sessions, previous, hash";

bool ReadChainRows(QSqlDatabase& db, const QString& origin, bool signing, qint64 upTo,
                   const std::function<void(const HistoryRow&, bool)>& take, QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString columns = QString(kHistoryColumns) + (signing ? ", signer, signature" : "");
    const QString until = upTo > 0 ? QString(" AND seq <= %1").arg(upTo) : QString();
    if (!(origin.isEmpty()
              ? Run(query,
                    QString("SELECT %1 FROM archive_history WHERE 1 = 1%2 ORDER BY seq")
                        .arg(columns, until),
                    {}, error)
              : Run(query,
                    QString("SELECT %1 FROM origin_history WHERE origin = ?%2 ORDER BY seq")
                        .arg(columns, until),
                    {origin}, error))) {
        return false;
    }
    while (query.next()) {
        HistoryRow row;
        row.seq = query.value(0).toLongLong();
        row.at = query.value(1).toLongLong();
        row.user = query.value(2).toString();
        row.host = query.value(3).toString();
        row.kind = query.value(4).toString();
        row.detail = query.value(5).toString();
        const bool readable =
            ParseSessionsText(query.value(6).toString(), row.sessions, row.indexUploads);
        row.previous = query.value(7).toString();
        row.hash = query.value(8).toString();
        if (signing) {
            row.signer = query.value(9).toString();
            row.signature = query.value(10).toString();
        }
        take(row, readable);
    }
    return true;
}

void ChainRecords::Add(const HistoryRow& row) {
    RecordedHead from;
    const bool synced = row.kind == ChangeKindName(ChangeKind::Sync) && !row.sessions.isEmpty() &&
                        ParseRecordedHead(row.detail, from);
    from.row = row.seq;
    for (const HistorySession& s : row.sessions) {
        m_sessions[s.id] = {s.sha256, row.seq};
        QSet<QString>& every = m_every[s.id];
        if (synced && !every.contains(s.sha256)) {
            m_cameWith.insert(QString::number(s.id) + ' ' + s.sha256, from);
        }
        every.insert(s.sha256);
        m_anywhere.insert(s.sha256);
    }
    for (const HistorySession& s : row.indexUploads) {
        m_indexUploads[s.id] = {s.sha256, row.seq};
    }
    m_newest = std::max(m_newest, row.seq);
}

bool ChainRecords::CameWith(qint64 session, const QString& sha256, RecordedHead& head) const {
    const auto found = m_cameWith.constFind(QString::number(session) + ' ' + sha256);
    if (found == m_cameWith.constEnd()) {
        return false;
    }
    head = found.value();
    return true;
}

BytesCheck CheckStoredBytes(const ChainRecords& chain, qint64 session, const QByteArray& name,
                            const QByteArray& sector, const QByteArray& overrun, QString& now,
                            Recorded& recorded) {
    now = StoredBytesHash(name, sector, overrun);
    const auto found = chain.Sessions().constFind(session);
    if (found == chain.Sessions().constEnd()) {
        return BytesCheck::Unrecorded;
    }
    recorded = found.value();
    return recorded.sha256 == now ? BytesCheck::Matches : BytesCheck::Differs;
}

bool CopyRecorded(const ChainRecords& chain, qint64 session, const QByteArray& name,
                  const QByteArray& sector, const QByteArray& overrun, QString& now) {
    now = StoredBytesHash(name, sector, overrun);
    return chain.EverRecorded(session, now);
}

} // namespace archive
