#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

#include "archive/ArchiveHistory.h"
#include "archive/RecordedHeads.h"

class QSqlDatabase;

namespace archive {

// A history row's columns in the order every reader of them takes them.
extern const char kHistoryColumns[];

// How a row read: whether its list of sessions is in the written form, and which of its text
// columns hold bytes that are not UTF-8.
struct RowReading {
    bool sessions = true;
    QStringList notText;
};

// The rows of this archive's own chain (`origin` empty), or of the other archive `origin` as they
// were synced in, oldest first, up to row `upTo` (0: all). `signing`: the archive's schema has the
// signatures' columns.
bool ReadChainRows(QSqlDatabase& db, const QString& origin, bool signing, qint64 upTo,
                   const std::function<void(const HistoryRow&, const RowReading&)>& take,
                   QString& error);

// Where a session or index upload was last recorded, and as what.
struct Recorded {
    QString sha256;
    qint64 row = 0;
};

// A session's bytes grown from one row to a later one, to be checked against the bytes the
// archive kept of both: the later must extend the earlier.
struct Growth {
    qint64 session = 0;
    QString from;
    QString to;
    qint64 row = 0; // the row that recorded `to`
};

// What one chain's rows recorded of the blocks they name: the bytes each session must hold now
// (those it had when a row first recorded it finished, else the latest), each index upload's
// latest hash, every hash a session ever had (its replaced copies are among them), and for bytes
// a sync took, the other archive's history they came with.
class ChainRecords {
public:
    // `faults`, where given, gets a line for each of the row's records that a finished session's
    // fixed bytes, or the chain's own stating of sessions, rule out; `whose` goes before it.
    void Add(const HistoryRow& row, QStringList* faults = nullptr,
             QSet<qint64>* faultySessions = nullptr, const QString& whose = QString());
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
    const QVector<Growth>& Growths() const { return m_growths; }
    // The first row that said of its sessions whether they were finished, and the first row that
    // named sessions at all (0: none).
    qint64 FirstStated() const { return m_firstStated; }
    qint64 FirstNaming() const { return m_firstNaming; }

    // What the chain's sync rows recorded of other archives' histories: each head a sync read
    // (RecordedHeads.h), and each other archive's chain taken in, up to which of its rows.
    struct TakenChain {
        QString identity;
        qint64 upTo = 0;
        qint64 row = 0; // the row of this chain that recorded it
    };
    const QVector<RecordedHead>& Heads() const { return m_heads; }
    const QVector<TakenChain>& Taken() const { return m_taken; }
    // Each copy a `copy` line named, by "ID SHA256", with the first row naming it.
    const QHash<QString, qint64>& Copies() const { return m_copies; }

    // A session's latest record other than a copy: what the archive's columns of it must say.
    struct Last {
        QString sha256;
        SessionState state = SessionState::Unstated;
        QString instrument; // empty: the row named none
        qint64 row = 0;
        qint64 instrumentRow = 0; // the row that last named its instrument
    };
    // Null for a session no row names but as a copy.
    const Last* LastOf(qint64 session) const {
        const auto found = m_last.constFind(session);
        return found == m_last.constEnd() ? nullptr : &found.value();
    }

private:
    // False when the line breaks the rule of fixed bytes: said in `faults`.
    bool Settled(const HistoryRow& row, const HistorySession& s, QStringList* faults,
                 const QString& whose);

    QHash<qint64, Recorded> m_sessions;
    QHash<qint64, Recorded> m_fixed; // the row that first recorded each one finished
    QHash<qint64, Last> m_last;      // each one's latest record other than a copy
    QHash<qint64, Recorded> m_indexUploads;
    QHash<qint64, QSet<QString>> m_every;
    QSet<QString> m_anywhere;
    QHash<QString, RecordedHead> m_cameWith; // "ID SHA256"
    QVector<Growth> m_growths;
    QVector<RecordedHead> m_heads;
    QVector<TakenChain> m_taken;
    QHash<QString, qint64> m_copies;
    qint64 m_newest = 0;
    qint64 m_firstStated = 0;
    qint64 m_firstNaming = 0;
    qint64 m_firstInstrumented = 0; // the first row whose lines named their instruments
};

// How a block's stored bytes stand against the chain that records them.
enum class BytesCheck {
    Matches,
    Unrecorded, // no row of the chain names it
    Differs,    // they hash to other than the chain last recorded
};

// The one check of a session's stored bytes against its history, the same for `verify` of the
// archive and for a sync taking the session from it: the hash of its name, sector and overrun
// (`now`) must be the one the chain says it holds (`recorded`): the bytes it had when first
// recorded finished, else the latest recorded.
BytesCheck CheckStoredBytes(const ChainRecords& chain, qint64 session, const QByteArray& name,
                            const QByteArray& sector, const QByteArray& overrun, QString& now,
                            Recorded& recorded);
// The same for a copy the session kept (replaced, or conflicting): its hash must be one that the
// chain recorded for the session at some time.
bool CopyRecorded(const ChainRecords& chain, qint64 session, const QByteArray& name,
                  const QByteArray& sector, const QByteArray& overrun, QString& now);

} // namespace archive
