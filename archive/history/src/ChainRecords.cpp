// What a history chain recorded of the bytes it names, and the check of stored bytes against it.
#include "archive/ChainRecords.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringDecoder>
#include <QVariant>
#include <algorithm>

#include "archive/HistoryChain.h"
#include "archive/SqlSteps.h"

namespace archive {

const char kHistoryColumns[] =
    "seq, changed_at, os_user, host, kind, detail, sessions, previous, hash";

namespace {

// The columns of a row that the hash takes as UTF-8 text, in the order of kHistoryColumns from
// the third on, then the signature's two.
const char* const kTextColumns[] = {"os_user",  "host", "kind",   "detail",   "sessions",
                                    "previous", "hash", "signer", "signature"};

// SQLite keeps whatever bytes a text column was given, and a reader that decodes them would hash
// other bytes than the ones stored: every text is read as its bytes, and bytes that are not UTF-8
// (which this program never writes) are said, not mended.
QString RowColumns(bool server, bool signing) {
    const int texts = signing ? 9 : 7;
    QStringList columns{"seq", "changed_at"};
    for (int i = 0; i < texts; ++i) {
        columns << (server ? QString(kTextColumns[i])
                           : QString("CAST(%1 AS BLOB)").arg(kTextColumns[i]));
    }
    return columns.join(", ");
}

bool Utf8Text(const QByteArray& bytes, QString& text) {
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = decode(bytes);
    return !decode.hasError();
}

} // namespace

bool ReadChainRows(QSqlDatabase& db, const QString& origin, bool signing, qint64 upTo,
                   const std::function<void(const HistoryRow&, const RowReading&)>& take,
                   QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString columns = RowColumns(db.driverName() == "QPSQL", signing);
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
    const int texts = signing ? 9 : 7;
    QString values[9];
    while (query.next()) {
        RowReading reading;
        for (int i = 0; i < texts; ++i) {
            if (!Utf8Text(query.value(2 + i).toByteArray(), values[i])) {
                reading.notText << kTextColumns[i];
            }
        }
        HistoryRow row;
        row.seq = query.value(0).toLongLong();
        row.at = query.value(1).toLongLong();
        row.user = values[0];
        row.host = values[1];
        row.kind = values[2];
        row.detail = values[3];
        // The row's hash covers the text as it was written: one that reads the same but is
        // written otherwise (a blank line added, lines moved) is not what was hashed.
        const QString& text = values[4];
        reading.sessions = ParseSessionsText(text, row.sessions, row.indexUploads) &&
                           SessionsText(row.sessions, row.indexUploads) == text;
        row.previous = values[5];
        row.hash = values[6];
        if (signing) {
            row.signer = values[7];
            row.signature = values[8];
        }
        take(row, reading);
    }
    return true;
}

bool ChainRecords::Settled(const HistoryRow& row, const HistorySession& s, QStringList* faults,
                           const QString& whose) {
    const auto fixed = m_fixed.constFind(s.id);
    if (fixed == m_fixed.constEnd() || s.state == SessionState::Unstated) {
        return true;
    }
    const QString at = whose + "history row " + QString::number(row.seq);
    if (s.state == SessionState::Open) {
        if (faults != nullptr) {
            *faults << QString("%1 records session %2 as open, which history row %3 recorded as"
                               " finished")
                           .arg(at)
                           .arg(s.id)
                           .arg(fixed->row);
        }
        return false;
    }
    if (s.sha256 == fixed->sha256) {
        return true;
    }
    if (faults != nullptr) {
        *faults << QString("%1 records other bytes for session %2 (%3), which history row %4"
                           " recorded as finished (%5): a finished session's bytes never change")
                       .arg(at)
                       .arg(s.id)
                       .arg(s.sha256)
                       .arg(fixed->row)
                       .arg(fixed->sha256);
    }
    return false;
}

namespace {

const char kTakenRow[] = "history rows of other archives synced from ";

// The chains a sync's row says it took in: "...: 12 rows of archive X (identity ID), its
// history's head row 7, HASH; archive (identity ID2), its history's head row 3, HASH2", each a
// head too; rows written before gave no hash: "...: 12 rows of archive ID up to its row 7, ...".
void TakenChains(const QString& detail, qint64 row, QVector<ChainRecords::TakenChain>& taken,
                 QVector<RecordedHead>& heads) {
    static const QRegularExpression kList(
        ": [0-9]+ rows? of ((?:archive [0-9A-Za-z{}-]+ up to its row [0-9]{1,18}(?:, )?)+)$");
    static const QRegularExpression kOne("archive ([0-9A-Za-z{}-]+) up to its row ([0-9]{1,18})");
    if (!detail.startsWith(kTakenRow)) {
        return;
    }
    for (RecordedHead head : RecordedHeadsIn(detail)) {
        head.row = row;
        taken.append({head.identity, head.seq, row});
        heads.append(head);
    }
    const QRegularExpressionMatch list = kList.match(detail);
    for (auto it = kOne.globalMatch(list.captured(1)); list.hasMatch() && it.hasNext();) {
        const QRegularExpressionMatch one = it.next();
        taken.append({one.captured(1), one.captured(2).toLongLong(), row});
    }
}

// The faults of a row that leaves unsaid what its chain says from an earlier row on (0: says
// nothing from any row): its sessions' state from `stated`, its sessions' instrument from
// `instrumented`.
void UnsaidFaults(const HistoryRow& row, qint64 stated, qint64 instrumented, const QString& whose,
                  QStringList& faults) {
    // A row that leaves its sessions' state unsaid, once its chain says it, could pass other
    // bytes for a finished session as a record made before the rule.
    if (stated > 0 && stated < row.seq) {
        faults << QString("%1history row %2 names sessions without their state, which its chain"
                          " gives from row %3 on")
                      .arg(whose)
                      .arg(row.seq)
                      .arg(stated);
    }
    // Likewise a line that leaves its session's instrument unsaid, once its chain names them,
    // could pass a session moved to another instrument.
    if (instrumented > 0 && instrumented <= row.seq) {
        faults << QString("%1history row %2 names sessions without their instrument, which its"
                          " chain names from row %3 on")
                      .arg(whose)
                      .arg(row.seq)
                      .arg(instrumented);
    }
}

} // namespace

void ChainRecords::Add(const HistoryRow& row, QStringList* faults, QSet<qint64>* faultySessions,
                       const QString& whose) {
    RecordedHead from;
    const bool sync = row.kind == ChangeKindName(ChangeKind::Sync);
    const bool headed = sync && ParseRecordedHead(row.detail, from);
    const bool synced = headed && !row.sessions.isEmpty();
    from.row = row.seq;
    if (sync && row.detail.startsWith(kTakenRow)) {
        TakenChains(row.detail, row.seq, m_taken, m_heads);
    } else if (headed) {
        m_heads.append(from);
    }
    if (!row.sessions.isEmpty() && m_firstNaming == 0) {
        m_firstNaming = row.seq;
    }
    bool unstated = false;
    bool uninstrumented = false;
    for (const HistorySession& s : row.sessions) {
        if (s.state != SessionState::Unstated) {
            if (!s.instrument.isEmpty() && m_firstInstrumented == 0) {
                m_firstInstrumented = row.seq;
            }
            uninstrumented = uninstrumented || s.instrument.isEmpty();
        }
        QSet<QString>& every = m_every[s.id];
        if (synced && !every.contains(s.sha256)) {
            m_cameWith.insert(QString::number(s.id) + ' ' + s.sha256, from);
        }
        every.insert(s.sha256);
        m_anywhere.insert(s.sha256);
        if (s.state == SessionState::Copy) {
            m_copies.insert(QString::number(s.id) + ' ' + s.sha256,
                            m_copies.value(QString::number(s.id) + ' ' + s.sha256, row.seq));
            continue;
        }
        if (s.state == SessionState::Unstated) {
            unstated = true;
        } else if (m_firstStated == 0) {
            m_firstStated = row.seq;
        }
        if (!Settled(row, s, faults, whose)) {
            if (faultySessions != nullptr) {
                faultySessions->insert(s.id);
            }
            continue;
        }
        const auto last = m_last.constFind(s.id);
        if (last != m_last.constEnd() && last->state == SessionState::Open &&
            s.state != SessionState::Unstated && last->sha256 != s.sha256) {
            m_growths.append({s.id, last->sha256, s.sha256, row.seq});
        }
        Last& now = m_last[s.id];
        now.sha256 = s.sha256;
        now.state = s.state;
        now.row = row.seq;
        if (!s.instrument.isEmpty()) {
            now.instrument = s.instrument;
            now.instrumentRow = row.seq;
        }
        if (s.state == SessionState::Finished && !m_fixed.contains(s.id)) {
            m_fixed.insert(s.id, {s.sha256, row.seq});
        }
        m_sessions[s.id] = m_fixed.value(s.id, {s.sha256, row.seq});
    }
    if (faults != nullptr) {
        UnsaidFaults(row, unstated ? m_firstStated : 0, uninstrumented ? m_firstInstrumented : 0,
                     whose, *faults);
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
