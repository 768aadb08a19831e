// What a printed compliance pack pins of an archive's history: its head, its signers and the
// sign-offs of the pack's period, of this archive's own chain and of every chain synced into it.
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimeZone>
#include <QVariant>
#include <algorithm>

#include "SignOffText.h"
#include "archive/ArchiveHistory.h"
#include "archive/HistoryChain.h"
#include "archive/HistorySigning.h"
#include "archive/PinnedHead.h"
#include "archive/Schema.h"
#include "archive/SessionArchive.h"
#include "archive/SqlSteps.h"

namespace archive {
namespace {

// The instruments some of this archive's sessions belong to.
bool InstrumentsOf(QSqlDatabase& db, const QVector<qint64>& sessions, QSet<qint64>& instruments,
                   QString& error) {
    constexpr int kChunk = 500;
    for (int i = 0; i < sessions.size(); i += kChunk) {
        QStringList ids;
        for (int k = i; k < std::min(static_cast<int>(sessions.size()), i + kChunk); ++k) {
            ids << QString::number(sessions[k]);
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

// One sign-off row of any chain, read whole before any is judged: a server's forward-only result
// is lost to the next query.
struct SignOffRow {
    QString origin; // empty: this archive's own chain
    qint64 seq = 0;
    qint64 at = 0;
    QString user;
    QString host;
    QString detail;
    QString sessions;
    QString signer;
};

bool ReadSignOffRows(QSqlDatabase& db, bool chains, bool signing, QVector<SignOffRow>& rows,
                     QString& error) {
    const QString kind = ChangeKindName(ChangeKind::SignOff);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    const QString signer = signing ? "signer" : "'' AS signer";
    const QString own = "SELECT '' AS origin, seq, changed_at, os_user, host, detail, sessions, " +
                        signer + " FROM archive_history WHERE kind = ?";
    const QString synced = " UNION ALL SELECT origin, seq, changed_at, os_user, host, detail,"
                           " sessions, " +
                           signer + " FROM origin_history WHERE kind = ?";
    if (!(chains ? Run(query, own + synced + " ORDER BY 3, 1, 2", {kind, kind}, error)
                 : Run(query, own + " ORDER BY 3, 1, 2", {kind}, error))) {
        return false;
    }
    while (query.next()) {
        rows.append({query.value(0).toString(), query.value(1).toLongLong(),
                     query.value(2).toLongLong(), query.value(3).toString(),
                     query.value(4).toString(), query.value(5).toString(),
                     query.value(6).toString(), query.value(7).toString()});
    }
    return true;
}

// Which of this archive's sessions holds the bytes of each hash its own history recorded (a
// sync's row records the sessions it took with the hash of the bytes it copied).
bool SessionsByHash(QSqlDatabase& db, QHash<QString, qint64>& byHash, QString& error) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!Run(query, "SELECT sessions FROM archive_history ORDER BY seq", {}, error)) {
        return false;
    }
    while (query.next()) {
        QVector<HistorySession> sessions;
        QVector<HistorySession> indexUploads;
        if (ParseSessionsText(query.value(0).toString(), sessions, indexUploads)) {
            for (const HistorySession& s : sessions) {
                byHash.insert(s.sha256, s.id);
            }
        }
    }
    return true;
}

enum class Applies { No, Yes, NotHeld };

// Judges sign-off rows for a pack of a period and instruments: its period overlaps the pack's,
// and it names every instrument or one the pack holds. Its instrument is the one its sessions
// belong to, which a rename since does not change: another archive's sessions are found here by
// the hash of their bytes, and a row none of whose sessions this archive holds is shown as such.
// A row of this archive that names no session is asked of the instrument by the name it gave. A
// row whose text is no sign-off's is shown: nothing a pack cannot judge is left out of it.
class SignOffJudge {
public:
    SignOffJudge(SessionArchive& archive, const PinnedPeriod& period)
        : m_archive(archive), m_db(QSqlDatabase::database(archive.ConnectionName(), false)),
          m_period(period) {}

    bool Judge(const SignOffRow& row, Applies& applies, QString& error) {
        SignOffScope scope;
        applies = Applies::Yes;
        if (!ReadSignOffText(row.detail, scope)) {
            return true;
        }
        const bool overlaps =
            (scope.from.isEmpty() || m_period.to.isEmpty() || scope.from <= m_period.to) &&
            (scope.to.isEmpty() || m_period.from.isEmpty() || scope.to >= m_period.from);
        applies = overlaps ? Applies::Yes : Applies::No;
        if (!overlaps || scope.instrument.isEmpty()) {
            return true;
        }
        QVector<HistorySession> named;
        QVector<HistorySession> indexUploads;
        const bool listed =
            ParseSessionsText(row.sessions, named, indexUploads) && !named.isEmpty();
        QVector<qint64> sessions;
        QSet<qint64> instruments;
        if (row.origin.isEmpty() && listed) {
            for (const HistorySession& s : named) {
                sessions.append(s.id);
            }
        } else if (row.origin.isEmpty()) {
            const QVector<qint64> found = m_archive.FindInstruments(scope.instrument);
            instruments = QSet<qint64>(found.begin(), found.end());
        } else {
            if (!m_hashesRead && !SessionsByHash(m_db, m_byHash, error)) {
                return false;
            }
            m_hashesRead = true;
            for (const HistorySession& s : named) {
                const auto here = m_byHash.constFind(s.sha256);
                if (here != m_byHash.constEnd()) {
                    sessions.append(here.value());
                }
            }
            if (sessions.isEmpty()) {
                applies = Applies::NotHeld;
                return true;
            }
        }
        if (!InstrumentsOf(m_db, sessions, instruments, error)) {
            return false;
        }
        applies = std::any_of(m_period.instruments.begin(), m_period.instruments.end(),
                              [&instruments](qint64 id) { return instruments.contains(id); })
                      ? Applies::Yes
                      : Applies::No;
        return true;
    }

private:
    SessionArchive& m_archive;
    QSqlDatabase m_db;
    const PinnedPeriod& m_period;
    QHash<QString, qint64> m_byHash;
    bool m_hashesRead = false;
};

QString ChainWords(const QHash<QString, QString>& names, const QString& origin) {
    return origin.isEmpty() ? QString("this archive") : names.value(origin, "archive " + origin);
}

// Each key once, with the chains it had signed before `until`, in the order HistorySigners gives.
QStringList SignerLines(const QVector<HistorySigner>& signers, const QHash<QString, QString>& names,
                        qint64 until) {
    // Each signer's printed name as its own chains bind it.
    PrintedNames printed;
    for (const HistorySigner& signer : signers) {
        if (!signer.printedName.isEmpty()) {
            printed.insert(signer.publicKey, signer.printedName);
        }
    }
    QStringList keys;
    QHash<QString, QVector<const HistorySigner*>> byKey;
    for (const HistorySigner& signer : signers) {
        if (until > 0 && signer.firstAt >= until) {
            continue;
        }
        if (!byKey.contains(signer.publicKey)) {
            keys << signer.publicKey;
        }
        byKey[signer.publicKey].append(&signer);
    }
    QStringList lines;
    for (const QString& key : keys) {
        const QVector<const HistorySigner*>& chains = byKey[key];
        const HistorySigner* first = *std::min_element(
            chains.begin(), chains.end(),
            [](const HistorySigner* a, const HistorySigner* b) { return a->firstAt < b->firstAt; });
        QStringList signedWhat;
        for (const HistorySigner* chain : chains) {
            // One pass: a location may hold "%2F" itself.
            signedWhat << QString("%1's history from row %2")
                              .arg(ChainWords(names, chain->origin),
                                   QString::number(chain->firstRow));
        }
        lines << QString("Signer: %1, %2, signed %3")
                     .arg(KeyNamedBy(first->fingerprint, true), SignerWho(*first, printed),
                          signedWhat.join(", "));
    }
    return lines;
}

} // namespace

QString PinTimeText(qint64 msecsSinceEpoch) {
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, QTimeZone::utc())
        .toString("yyyy-MM-dd HH:mm 'UTC'");
}

bool HistoryPinLines(SessionArchive& archive, const PinnedPeriod& period, QStringList& lines,
                     QString& error) {
    lines.clear();
    QVector<HistorySigner> signers;
    QHash<QString, QString> names;
    if (!HistorySigners(archive, signers, error) || !ChainNames(archive, names, error)) {
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(archive.ConnectionName(), false);
    PinnedHead head;
    if (!OwnHead(archive, head, error, period.until)) {
        return false;
    }
    if (head.row != 0) {
        // Ready to paste: a later verify --head with it shows rows deleted since.
        lines << "History head (archive verify --head): " + HeadText(head);
    } else if (period.until > 0 && !period.to.isEmpty()) {
        lines << "History head: none (no history row was written by the end of " + period.to + ")";
    } else {
        lines << "History head: none (the history is empty)";
    }
    lines << SignerLines(signers, names, period.until);
    QVector<SignOffRow> rows;
    if (!ReadSignOffRows(db, !names.isEmpty(), archive.SchemaVersion() >= kSigningVersion, rows,
                         error)) {
        return false;
    }
    QHash<QString, PrintedNames> printed; // by chain
    for (const SignOffRow& row : rows) {
        if (!printed.contains(row.origin) &&
            !ChainPrintedNames(archive, row.origin, printed[row.origin], error)) {
            return false;
        }
    }
    SignOffJudge judge(archive, period);
    for (const SignOffRow& row : rows) {
        Applies applies = Applies::No;
        if (!judge.Judge(row, applies, error)) {
            return false;
        }
        if (applies != Applies::No) {
            // A pack of an earlier day shows the sign-offs made since for its period, but its
            // head is that day's: each such line says it was written after it.
            QString notes;
            if (applies == Applies::NotHeld) {
                notes += " (this archive holds none of its sessions)";
            }
            if (period.until > 0 && row.at >= period.until) {
                notes += " (written after the pack's day)";
            }
            const QString by = ShownWriter(ChangeKindName(ChangeKind::SignOff), row.user, row.host,
                                           row.signer, printed[row.origin]);
            lines << QString("Sign-off, row %1 of %2%3, %4, %5: %6")
                         .arg(row.seq)
                         .arg(ChainWords(names, row.origin), notes, PinTimeText(row.at), by,
                              row.detail);
        }
    }
    return true;
}

} // namespace archive
