#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <functional>

#include "RecordedHeads.h"
#include "archive/ArchiveHistory.h"

class QSqlDatabase;

namespace archive {

// A history row's columns in the order every reader of them takes them.
extern const char kHistoryColumns[];

// The rows of this archive's own chain (`origin` empty), or of the other archive `origin` as they
// were synced in, oldest first, up to row `upTo` (0: all); `readable` is false for a row whose list
// of sessions is not. `signing`: the archive's schema has the signatures' columns.
bool ReadChainRows(QSqlDatabase& db, const QString& origin, bool signing, qint64 upTo,
                   const std::function<void(const HistoryRow&, bool readable)>& take,
                   QString& error);

// Where a session or index upload was last recorded, and as what.
struct Recorded {
    QString sha256;
    qint64 row = 0;
};

// What one chain's rows recorded of the blocks they name: each session's and index upload's
// latest hash, every hash a session ever had (its replaced copies are among them), and for bytes
// a sync took, the other archive's history they came with.
class ChainRecords {
public:
    void Add(const HistoryRow& row);
    const QHash<qint64, Recorded>& Sessions() const { return m_sessions; }
    const QHash<qint64, Recorded>& IndexUploads() const { return m_indexUploads; }
    bool EverRecorded(qint64 session, const QString& sha256) const {
        return m_every.value(session).contains(sha256);
    }
    // Recorded for any session: another archive's chain names its sessions by its own ids.
    bool RecordedAnywhere(const QString& sha256) const { return m_anywhere.contains(sha256); }
    qint64 Newest() const { return m_newest; }
    // The sync row that first recorded these bytes of the session took them from another archive:
    // that archive and the head of its history then.
    bool CameWith(qint64 session, const QString& sha256, RecordedHead& head) const;

private:
    QHash<qint64, Recorded> m_sessions;
    QHash<qint64, Recorded> m_indexUploads;
    QHash<qint64, QSet<QString>> m_every;
    QSet<QString> m_anywhere;
    QHash<QString, RecordedHead> m_cameWith; // "ID SHA256"
    qint64 m_newest = 0;
};

// How a block's stored bytes stand against the chain that records them.
enum class BytesCheck {
    Matches,
    Unrecorded, // no row of the chain names it
    Differs,    // they hash to other than the chain last recorded
};

// The one check of a session's stored bytes against its history, the same for `verify` of the
// archive and for a sync taking the session from it: the hash of its name, sector and overrun
// (`now`) must be the one the chain last recorded for it (`recorded`).
BytesCheck CheckStoredBytes(const ChainRecords& chain, qint64 session, const QByteArray& name,
                            const QByteArray& sector, const QByteArray& overrun, QString& now,
                            Recorded& recorded);
// The same for a copy the session kept (replaced, or conflicting): its hash must be one that the
// chain recorded for the session at some time.
bool CopyRecorded(const ChainRecords& chain, qint64 session, const QByteArray& name,
                  const QByteArray& sector, const QByteArray& overrun, QString& now);

} // namespace archive
